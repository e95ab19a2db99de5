#include "integrity/CheckSteps.h"

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
            if (!namedNow(run.reg, storedName, row->identity))
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
        if (!actual || actual->size != digest->size || actual->hash != digest->hash) {
            {
                // Asked where no program is inside its change: deleted
                // since the records were read, its copy is no concern.
                const std::unique_ptr<RecordStore> again = run.reg.records();
                const Result<std::unique_ptr<StoreTransaction>> lock = again->beginWrite();
                if (!namedNow(run.reg, storedName, row->identity))
                    continue;
            }
            // Deleted and put back meanwhile: read once more.
            if (!actual)
                actual = digestOf(run.store, storedName, run.options.cancelled);
        }
        if (!actual) {
            run.report.findings.append(
                recordFinding(Kind::Unreadable, *row, actual.error().message));
        } else if (actual->size != digest->size) {
            run.report.findings.append(recordFinding(Kind::SizeChanged, *row,
                                                     QStringLiteral("登记时 %1 字节，现在 %2 字节")
                                                         .arg(digest->size)
                                                         .arg(actual->size)));
        } else if (actual->hash != digest->hash) {
            run.report.findings.append(recordFinding(Kind::ContentChanged, *row));
        }
    }
    if (run.options.progress)
        run.options.progress(total, total);
    return {};
}

} // namespace Integrity
