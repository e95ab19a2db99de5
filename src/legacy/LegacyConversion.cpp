#include "legacy/LegacyConversion.h"

#include "legacy/LegacySource.h"
#include "store/Audit.h"
#include "store/Register.h"
#include "store/RegisterNames.h"
#include "store/sql/ContentHash.h"
#include "store/sqlite/Schema.h"
#include "store/sqlite/WorkingRegister.h"

#include <QDir>
#include <QFile>
#include <QtConcurrent>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace LegacyConversion {

namespace {

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

bool syncPath(const QString& path, bool directory)
{
    const int fd = ::open(native(path).constData(),
                          (directory ? O_RDONLY | O_DIRECTORY : O_RDONLY) | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

void removeWorkingFiles(const QString& working)
{
    for (const QString& suffix :
         {QString(), QStringLiteral("-journal"), QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::remove(working + suffix);
}

bool sameFile(const QString& a, const QString& b)
{
    struct stat sa {};
    struct stat sb {};
    return ::stat(native(a).constData(), &sa) == 0 && ::stat(native(b).constData(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Streams `from` into a new file `to` (which must not exist) and flushes it.
Status copyFile(const QString& from, const QString& to)
{
    QFile in(from);
    QFile out(to);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return Error{QStringLiteral("无法保留旧数据库“%1”。").arg(from), out.errorString()};
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 got = in.read(buffer.data(), buffer.size());
        if (got < 0 || (got > 0 && out.write(buffer.constData(), got) != got)) {
            out.close();
            QFile::remove(to);
            return Error{QStringLiteral("无法保留旧数据库“%1”。").arg(from), out.errorString()};
        }
        if (got == 0)
            break;
    }
    out.flush();
    ::fsync(out.handle());
    return {};
}

// Gives the old file a second name that says what it is, never over an
// existing file. A name left by an interrupted run that already is this
// file is used again.
Result<QString> keepAside(const QString& folder, const QString& old)
{
    const QDir dir(folder);
    for (int n = 1; n < 1000; ++n) {
        const QString name = n == 1 ? asideFile : QStringLiteral("文件管理.jet-%1.mdb").arg(n);
        const QString path = dir.filePath(name);
        if (QFileInfo::exists(path)) {
            if (sameFile(path, old))
                return path;
            continue;
        }
        if (::link(native(old).constData(), native(path).constData()) == 0)
            return path;
        if (errno == EEXIST)
            continue;
        // No hard links here (a FAT stick, a network share): a copy, under a
        // working name first so that a half copy never bears the name.
        const QString part = dir.filePath(name + QStringLiteral(".part"));
        QFile::remove(part);
        if (Status copied = copyFile(old, part); !copied)
            return copied.error();
        if (!QFile::rename(part, path)) {
            QFile::remove(part);
            return Error{QStringLiteral("无法保留旧数据库“%1”。").arg(old), path};
        }
        return path;
    }
    return Error{QStringLiteral("无法为旧数据库找到一个未被占用的名称。"), folder};
}

// The content hash of every present copy, read on all cores: on a large
// register reading the copies is most of the work.
Result<QList<ContentHash::Digest>> hashCopies(const Legacy::Source& source,
                                              const StepProgress& progress)
{
    std::atomic_int done = 0;
    const int steps = int(source.records.size());
    const QList<Result<ContentHash::Digest>> digests = QtConcurrent::blockingMapped(
        source.records, [&](const Legacy::SourceRecord& row) -> Result<ContentHash::Digest> {
            const int step = ++done;
            if (progress && step % 256 == 0)
                progress(step / 2, steps);
            if (row.copy != Legacy::SourceRecord::Present || !source.store)
                return ContentHash::Digest{};
            // Through the store folder: a copy swapped for a link or a pipe
            // since it was looked at is refused, never followed or waited on.
            const QString& name = row.record.storedName;
            int error = 0;
            const int fd = source.store->openForRead(name, &error);
            if (fd < 0)
                return Error{QStringLiteral("无法读取存储副本“%1”，旧登记库未被改动。")
                                 .arg(source.store->pathOf(name)),
                             QString::fromLocal8Bit(std::strerror(error))};
            Result<ContentHash::Digest> digest =
                ContentHash::ofOpenFile(fd, source.store->pathOf(name));
            ::close(fd);
            return digest;
        });
    QList<ContentHash::Digest> result;
    result.reserve(digests.size());
    for (const Result<ContentHash::Digest>& digest : digests) {
        if (!digest)
            return digest.error();
        result << digest.value();
    }
    return result;
}

// What the new register is to hold: every record, the digests of the copies
// that are there (hashed as intake would have, so that check and the
// duplicate warning know the old copies too) and the query slots.
Result<WorkingRegister::Content> contentOf(const Legacy::Source& source,
                                           const StepProgress& progress)
{
    Result<QList<ContentHash::Digest>> digests = hashCopies(source, progress);
    if (!digests)
        return digests.error();
    WorkingRegister::Content content;
    for (int i = 0; i < source.records.size(); ++i) {
        const Legacy::SourceRecord& row = source.records.at(i);
        content.records << row.record;
        content.digests << (row.copy == Legacy::SourceRecord::Present
                                ? std::optional<ContentHash::Digest>(digests->at(i))
                                : std::nullopt);
    }
    content.slots = source.slots;
    content.historyAction = Audit::converted;
    return content;
}

} // namespace

bool needsConversion(const QString& folder)
{
    return Schema::inspect(QDir(folder).filePath(RegisterNames::databaseFile)) ==
           Schema::FileKind::Access;
}

Result<Legacy::Report> convert(const QString& folder, bool dryRun, const StepProgress& progress)
{
    const QDir dir(QDir(folder).absolutePath());
    const QString dbPath = dir.filePath(RegisterNames::databaseFile);
    QString detail;
    const Schema::FileKind kind = Schema::inspect(dbPath, &detail);
    if (kind == Schema::FileKind::QuorvelRegister) {
        Legacy::Report report;
        report.outcome = Legacy::Report::AlreadyConverted;
        return report;
    }
    if (kind == Schema::FileKind::Missing)
        return Error{QStringLiteral("在“%1”没有找到登记库。").arg(dir.path()), dbPath,
                     ErrorCode::NotFound};
    if (kind != Schema::FileKind::Access)
        return Schema::foreignError(dbPath, kind, detail);

    Result<Legacy::Source> source = Legacy::readSource(dir.path());
    if (!source)
        return source.error();
    Legacy::Report report = Legacy::findings(*source);
    if (dryRun) {
        report.outcome = Legacy::Report::WouldConvert;
        return report;
    }

    const QString working = dir.filePath(workingFile);
    removeWorkingFiles(working);
    {
        Result<WorkingRegister::Content> content = contentOf(*source, progress);
        Status written = content
                             ? WorkingRegister::write(working, *content,
                                                      [&](int step, int steps) {
                                                          if (progress)
                                                              progress((steps + step) / 2, steps);
                                                      })
                             : Status(content.error());
        if (!written) {
            removeWorkingFiles(working);
            return written.error();
        }
        if (progress)
            progress(int(source->records.size()), int(source->records.size()));
    }
    if (!syncPath(working, false)) {
        removeWorkingFiles(working);
        return Error{QStringLiteral("无法把新登记库写入磁盘。"), working};
    }

    Result<QString> aside = keepAside(dir.path(), dbPath);
    if (!aside) {
        removeWorkingFiles(working);
        return aside.error();
    }
    syncPath(dir.path(), true);
    if (::rename(native(working).constData(), native(dbPath).constData()) != 0) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        removeWorkingFiles(working);
        return Error{QStringLiteral("无法启用新登记库，旧登记库未被改动。"), why};
    }
    syncPath(dir.path(), true);

    report.outcome = Legacy::Report::Converted;
    report.aside = QFileInfo(*aside).fileName();
    return report;
}

} // namespace LegacyConversion
