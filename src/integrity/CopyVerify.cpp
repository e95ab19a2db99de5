#include "integrity/CheckSteps.h"
#include "integrity/FindingRecheck.h"

#include <cstring>
#include <unistd.h>

namespace Integrity {

Result<ContentHash::Digest> digestOf(const StoreFolder& store, const QString& name,
                                     const std::atomic<bool>* cancelled)
{
    int error = 0;
    const int fd = store.openForRead(name, &error);
    if (fd < 0) {
        const QString what = StoreFolder::typeText(store.entry(name).type);
        return Error{what.isEmpty() ? QString::fromLocal8Bit(std::strerror(error)) : what,
                     store.pathOf(name)};
    }
    Result<ContentHash::Digest> digest = ContentHash::ofOpenFile(fd, store.pathOf(name), cancelled);
    ::close(fd);
    return digest;
}

Status verifyCopies(CheckRun& run)
{
    const qint64 total = run.toVerify.size();
    qint64 done = 0;
    std::optional<Result<QHash<qint64, RecordedDigest>>> freshDigests;
    // Copies that differ from their record, asked about again at the end.
    struct Suspect {
        const RecordRow* row;
        RecordedDigest recorded;
        Result<ContentHash::Digest> actual;
    };
    QList<Suspect> suspects;
    for (const RecordRow* row : run.toVerify) {
        if (run.options.cancelled && run.options.cancelled->load())
            return Error{QStringLiteral("检查已取消。"), QString()};
        if (run.options.progress)
            run.options.progress(done, total);
        ++done;
        const QString storedName = row->storedName.toString();
        auto digest = run.digests.constFind(row->identity);
        if (digest == run.digests.constEnd() || digest->storedName != storedName) {
            // The hashes were read after the records: a record a program
            // deleted or put back in between is asked about again.
            if (!namedNow(run.records, storedName, row->identity))
                continue;
            if (!freshDigests)
                freshDigests = run.records.digests();
            if (*freshDigests)
                digest = (*freshDigests)->constFind(row->identity);
            if (!*freshDigests || digest == (*freshDigests)->constEnd() ||
                digest->storedName != storedName) {
                run.report.findings.append(recordFinding(Kind::NotHashed, *row));
                continue;
            }
        }
        Result<ContentHash::Digest> actual = digestOf(run.store, storedName, run.options.cancelled);
        if (run.options.cancelled && run.options.cancelled->load())
            return Error{QStringLiteral("检查已取消。"), QString()};
        if (!actual || actual->size != digest->size || actual->hash != digest->hash)
            suspects.append({row, *digest, std::move(actual)});
    }
    // Asked where no program is inside its change, all at once: a record
    // deleted since the records were read is no concern.
    bool tryLock = true;
    underWriteLock(run.reg, tryLock, [&](RecordStore& records) {
        suspects.removeIf([&](const Suspect& suspect) {
            const Result<bool> named =
                records.isNamed(suspect.row->storedName.toString(), suspect.row->identity);
            return named && !named.value();
        });
    });
    for (Suspect& suspect : suspects) {
        const RecordRow& row = *suspect.row;
        const RecordedDigest& digest = suspect.recorded;
        Result<ContentHash::Digest>& actual = suspect.actual;
        // Deleted and put back meanwhile: read once more.
        if (!actual)
            actual = digestOf(run.store, row.storedName.toString(), run.options.cancelled);
        if (!actual) {
            run.report.findings.append(
                recordFinding(Kind::Unreadable, row, actual.error().message));
        } else if (actual->size != digest.size) {
            run.report.findings.append(recordFinding(
                Kind::SizeChanged, row,
                QStringLiteral("登记时 %1 字节，现在 %2 字节").arg(digest.size).arg(actual->size)));
        } else if (actual->hash != digest.hash) {
            run.report.findings.append(recordFinding(Kind::ContentChanged, row));
        }
    }
    if (run.options.progress)
        run.options.progress(total, total);
    return {};
}

} // namespace Integrity
