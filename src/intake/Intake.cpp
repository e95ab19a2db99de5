#include "intake/Intake.h"

#include "intake/FileCopy.h"
#include "intake/StoredName.h"
#include "store/ContentHash.h"
#include "store/DateText.h"
#include "store/RegisterNames.h"
#include "store/Sql.h"
#include "store/StoreFiles.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Intake {

namespace {

constexpr int renameAttempts = 8;

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

Outcome failed(const File& file, const QString& message, const QString& detail = {})
{
    Outcome outcome;
    outcome.kind = Outcome::Failed;
    outcome.fileName = file.fileName;
    outcome.error = {message, detail};
    return outcome;
}

// Closes a descriptor, and removes the temporary copy unless it was moved
// into place.
class TempCopy {
public:
    TempCopy(QByteArray path, int fd) : m_path(std::move(path)), m_fd(fd) {}
    ~TempCopy()
    {
        closeFile();
        if (!m_path.isEmpty())
            ::unlink(m_path.constData());
    }
    TempCopy(const TempCopy&) = delete;
    TempCopy& operator=(const TempCopy&) = delete;

    int fd() const { return m_fd; }
    const QByteArray& path() const { return m_path; }
    int closeFile()
    {
        if (m_fd < 0)
            return 0;
        const int result = ::close(m_fd);
        m_fd = -1;
        return result;
    }
    void release() { m_path.clear(); }

private:
    QByteArray m_path;
    int m_fd;
};

struct FileDescriptor {
    int fd = -1;
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

QString writeErrorText(int error)
{
    if (error == ENOSPC || error == EDQUOT)
        return QStringLiteral("磁盘已满，无法保存文件副本。");
    if (error == EFBIG)
        return QStringLiteral("文件太大，存储文件夹所在的磁盘无法保存。");
    return QStringLiteral("无法在存储文件夹中写入文件副本。");
}

qint64 nextSerial(const QSqlDatabase& db, Error* error)
{
    // Numbers sort before every text, so "< ''" keeps the numeric serials of
    // a damaged register and still walks the serial index from its end.
    Result<QVariant> highest =
        Sql::scalar(db, QStringLiteral("SELECT %1 FROM %2 WHERE %1 < '' ORDER BY %1 DESC LIMIT 1")
                            .arg(Sql::identifier(RegisterNames::serial),
                                 Sql::identifier(RegisterNames::recordTable)));
    if (!highest) {
        *error = highest.error();
        return 0;
    }
    if (highest->isNull())
        return 1;
    return static_cast<qint64>(std::floor(highest->toDouble())) + 1;
}

// An empty text is stored as the empty text, never as NULL.
QString columnText(const QString& text, int limit)
{
    return text.isEmpty() ? QStringLiteral("") : StoredName::cut(text, limit);
}

Result<qint64> insertRecord(const QSqlDatabase& db, qint64 newSerial, const File& file,
                            const QString& newStoredName, const Details& details)
{
    using namespace RegisterNames;
    const QString sql =
        QStringLiteral("INSERT INTO %1 (%2, %3, %4, %5, %6, %7, %8, %9) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?)")
            .arg(Sql::identifier(recordTable), Sql::identifier(serial), Sql::identifier(date),
                 Sql::identifier(fileName), Sql::identifier(storedName), Sql::identifier(remark),
                 Sql::identifier(recipient), Sql::identifier(method), Sql::identifier(folder));
    Result<QSqlQuery> query = Sql::run(
        db, sql,
        {newSerial, DateText::toStored(details.date), columnText(file.fileName, fileNameLimit),
         newStoredName, columnText(details.remark, remarkLimit),
         columnText(details.recipient, recipientLimit), columnText(details.method, methodLimit),
         columnText(details.folder, folderLimit)});
    if (!query)
        return query.error();
    return query->lastInsertId().toLongLong();
}

// Moves the finished copy to `name`; fails with EEXIST when the name is taken.
int renameNoReplace(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    // File systems without the flag: a hard link never replaces either.
    if (::link(from.constData(), to.constData()) != 0)
        return errno;
    ::unlink(from.constData());
    return 0;
}

void syncFolder(const QString& folder)
{
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

File File::fromPath(const QString& path)
{
    return {path, QFileInfo(path).fileName()};
}

Outcome DdtaUp(const Register& reg, const File& file, const Details& details, int index,
               const Progress& progress, const std::atomic_bool* cancel)
{
    const QString shown = file.fileName;
    // Read-only and without O_CREAT: a missing source stays missing. O_NONBLOCK
    // keeps a named pipe from hanging us; it is cleared for regular files.
    FileDescriptor source;
    source.fd =
        ::open(QFile::encodeName(file.sourcePath).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (source.fd < 0) {
        const int error = errno;
        // A name whose bytes are not UTF-8 cannot be carried through a text
        // and back: say so, rather than that the file is gone.
        if (error == ENOENT && file.sourcePath.contains(QChar::ReplacementCharacter))
            return failed(file,
                          QStringLiteral("文件名含有无法识别的字符（不是 UTF-8 编码），无法登记。"
                                         "请先给文件改名。"),
                          file.sourcePath);
        if (error == ENOENT || error == ENOTDIR)
            return failed(file, QStringLiteral("找不到文件，它可能已被移动或删除。"),
                          file.sourcePath);
        if (error == EACCES || error == EPERM)
            return failed(file, QStringLiteral("没有读取此文件的权限。"), file.sourcePath);
        return failed(file, QStringLiteral("无法打开文件。"),
                      file.sourcePath + QStringLiteral(": ") + systemText(error));
    }
    struct stat st;
    if (::fstat(source.fd, &st) != 0)
        return failed(file, QStringLiteral("无法读取文件信息。"), systemText(errno));
    if (S_ISDIR(st.st_mode))
        return failed(file, QStringLiteral("这是一个文件夹，只能登记文件。"), file.sourcePath);
    if (!S_ISREG(st.st_mode))
        return failed(file, QStringLiteral("这不是普通文件，无法登记。"), file.sourcePath);
    ::fcntl(source.fd, F_SETFL, ::fcntl(source.fd, F_GETFL) & ~O_NONBLOCK);

    const qint64 total = st.st_size;
    if (total == 0) {
        Outcome outcome;
        outcome.kind = Outcome::EmptySkipped;
        outcome.fileName = shown;
        outcome.error = {emptyFileMessage, file.sourcePath};
        return outcome;
    }
    if (progress)
        progress(index, shown, 0, total);

    const QString storeFolder = reg.storeFolder();
    const QByteArray tempPath =
        QFile::encodeName(storeFolder + QLatin1Char('/') + StoreFiles::partName());
    const int targetFd = ::open(tempPath.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (targetFd < 0) {
        const int error = errno;
        return failed(file, writeErrorText(error),
                      storeFolder + QStringLiteral(": ") + systemText(error));
    }
    TempCopy temp(tempPath, targetFd);

    ContentHash::Hasher hasher;
    const int copyError = FileCopy::copy(
        source.fd, temp.fd(), total, hasher,
        [&](qint64 done) {
            if (progress)
                progress(index, shown, done, total);
        },
        cancel);
    if (copyError == ECANCELED) {
        Outcome outcome;
        outcome.kind = Outcome::Cancelled;
        outcome.fileName = shown;
        outcome.error = {QStringLiteral("已取消。"), QString()};
        return outcome;
    }
    if (copyError == ENOSPC || copyError == EDQUOT || copyError == EFBIG)
        return failed(file, writeErrorText(copyError), systemText(copyError));
    if (copyError != 0)
        return failed(file, QStringLiteral("复制文件时出错。"), systemText(copyError));
    // A file that shrank or grew while it was read would be registered as a
    // copy of neither its old nor its new content.
    struct stat after;
    if (hasher.size() != total || ::fstat(source.fd, &after) != 0 || after.st_size != total ||
        after.st_mtim.tv_sec != st.st_mtim.tv_sec || after.st_mtim.tv_nsec != st.st_mtim.tv_nsec)
        return failed(file, QStringLiteral("文件在复制时被改动，未登记，请稍后再试。"),
                      file.sourcePath);

    QSqlDatabase db = reg.database();
    QString storedName = StoredName::choose(reg, file.fileName);
    for (int attempt = 0; attempt < renameAttempts; ++attempt) {
        if (attempt > 0)
            storedName = StoredName::clashName(file.fileName);
        const QString finalPath = reg.storedCopyPath(storedName);
        if (finalPath.isEmpty())
            continue;

        // The record and the name are decided under the write lock; the copy
        // gets its name before the commit, and loses it again if the commit fails.
        Transaction transaction(db);
        if (!transaction.started())
            return failed(file, transaction.startError().message, transaction.startError().detail);
        Error serialError;
        const qint64 serial = nextSerial(db, &serialError);
        if (serial == 0)
            return failed(file, serialError.message, serialError.detail);
        Result<QList<ContentHash::SameContent>> same =
            ContentHash::recordsWithContent(db, hasher.size(), hasher.hex());
        if (!same)
            return failed(file, same.error().message, same.error().detail);
        Result<qint64> inserted = insertRecord(db, serial, file, storedName, details);
        if (!inserted)
            return failed(file, inserted.error().message, inserted.error().detail);
        if (Status hashed = ContentHash::record(db, *inserted, hasher.size(), hasher.hex());
            !hashed)
            return failed(file, hashed.error().message, hashed.error().detail);

        // A second name (hard link), not a rename: until the commit the copy
        // keeps its working name as well, so a crash before the commit leaves
        // a file the integrity check knows as an interrupted copy, never an
        // unexplained one. Where links are not supported it is renamed.
        const QByteArray finalName = QFile::encodeName(finalPath);
        bool renamed = false;
        int placeError = ::link(temp.path().constData(), finalName.constData()) == 0 ? 0 : errno;
        if (placeError == EPERM || placeError == EOPNOTSUPP || placeError == EMLINK ||
            placeError == EXDEV) {
            placeError = renameNoReplace(temp.path(), finalName);
            renamed = placeError == 0;
        }
        if (placeError == EEXIST)
            continue; // someone took the name meanwhile; roll back and pick another
        if (placeError != 0)
            return failed(file, writeErrorText(placeError), systemText(placeError));
        if (renamed)
            temp.release();
        // The copy's content and name are made durable before the record can
        // be: after a power cut there may be a copy without its record (a
        // leftover the check removes), never a record without its copy.
        // Flushed once named, most file systems write both in one journal
        // commit, and the folder's flush finds nothing left to do.
        if (::fsync(temp.fd()) != 0 || temp.closeFile() != 0) {
            const int error = errno;
            ::unlink(finalName.constData());
            return failed(file, writeErrorText(error), systemText(error));
        }
        syncFolder(storeFolder);
        if (Status committed = transaction.commit(); !committed) {
            ::unlink(finalName.constData());
            return failed(file, committed.error().message, committed.error().detail);
        }
        if (!renamed) {
            ::unlink(temp.path().constData());
            temp.release();
        }

        Outcome outcome;
        outcome.kind = Outcome::Registered;
        outcome.fileName = shown;
        outcome.serial = serial;
        outcome.storedName = storedName;
        outcome.sameContent = same.value();
        return outcome;
    }
    return failed(file, QStringLiteral("无法为文件副本找到一个未被占用的名称。"), storeFolder);
}

QString sameContentNote(const Outcome& outcome)
{
    if (outcome.sameContent.isEmpty())
        return QString();
    QStringList earlier;
    for (const ContentHash::SameContent& same : outcome.sameContent)
        earlier << QStringLiteral("序号 %1“%2”").arg(same.serial.toString(), same.fileName);
    return QStringLiteral("“%1”的内容与已登记的记录相同：%2。仍已登记。")
        .arg(outcome.fileName, earlier.join(QStringLiteral("、")));
}

QList<Outcome> runBatch(const Register& reg, const QList<File>& files, const Details& details,
                        const Progress& progress, const std::atomic_bool* cancel)
{
    QList<Outcome> outcomes;
    outcomes.reserve(files.size());
    for (int i = 0; i < files.size(); ++i) {
        if (cancel && cancel->load()) {
            Outcome skipped;
            skipped.kind = Outcome::Cancelled;
            skipped.fileName = files.at(i).fileName;
            skipped.error = {QStringLiteral("已取消。"), QString()};
            outcomes << skipped;
            continue;
        }
        outcomes << DdtaUp(reg, files.at(i), details, i, progress, cancel);
    }
    return outcomes;
}

} // namespace Intake
