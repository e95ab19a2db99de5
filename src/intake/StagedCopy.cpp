#include "intake/StagedCopy.h"

#include "intake/FileCopy.h"
#include "store/folder/StoreFiles.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace Intake {

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

Outcome failed(const File& file, const QString& message, const QString& detail)
{
    Outcome outcome;
    outcome.kind = Outcome::Failed;
    outcome.fileName = file.fileName;
    outcome.error = {message, detail};
    return outcome;
}

namespace {

struct FileDescriptor {
    int fd = -1;
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

StagedCopy::StagedCopy(File file, int index, StoreFolder store, QString workingName,
                       std::shared_ptr<LiveWriter> writer)
    : m_file(std::move(file)), m_index(index), m_store(std::move(store)),
      m_workingName(std::move(workingName)), m_writer(std::move(writer))
{
}

StagedCopy::~StagedCopy()
{
    if (m_fd >= 0)
        ::close(m_fd);
    // Never leaves a name that no record took.
    unplace();
    if (!m_done)
        m_store.remove(m_workingName);
}

QString StagedCopy::writeErrorText(int error)
{
    if (error == ENOSPC || error == EDQUOT)
        return QStringLiteral("磁盘已满，无法保存文件副本。");
    if (error == EFBIG)
        return QStringLiteral("文件太大，存储文件夹所在的磁盘无法保存。");
    return QStringLiteral("无法在存储文件夹中写入文件副本。");
}

int StagedCopy::flush()
{
    if (m_flushed)
        return 0;
    if (::fsync(m_fd) != 0)
        return errno;
    const int closing = ::close(m_fd);
    m_fd = -1;
    if (closing != 0)
        return errno;
    m_flushed = true;
    return 0;
}

int StagedCopy::placeAt(const QString& storedName)
{
    // A second name (hard link), not a rename: until the record is committed
    // the copy keeps its working name as well, so a crash in between leaves a
    // file the integrity check knows as an interrupted copy, never an
    // unexplained one. Where links are not supported it is renamed.
    if (!Register::isPlainFileName(storedName) || !m_flushed)
        return EINVAL;
    int error = m_store.link(m_workingName, storedName);
    if (error == EPERM || error == EOPNOTSUPP || error == EMLINK || error == EXDEV) {
        error = m_store.renameNoReplace(m_workingName, storedName);
        m_renamed = error == 0;
    }
    if (error == 0)
        m_finalName = storedName;
    return error;
}

void StagedCopy::unplace()
{
    if (m_finalName.isEmpty())
        return;
    // A renamed copy goes back to its working name, to be named again.
    if (m_renamed)
        m_store.renameNoReplace(m_finalName, m_workingName);
    else
        m_store.remove(m_finalName);
    m_finalName.clear();
    m_renamed = false;
}

void StagedCopy::finish()
{
    if (!m_renamed)
        m_store.remove(m_workingName);
    m_finalName.clear();
    m_renamed = false;
    m_done = true;
}

std::variant<std::unique_ptr<StagedCopy>, Outcome> StagedCopy::stage(const Register& reg,
                                                                     const File& file, int index,
                                                                     const Progress& progress,
                                                                     const std::atomic_bool* cancel)
{
    // Read-only and without O_CREAT: a missing source stays missing. O_NONBLOCK
    // keeps a named pipe from hanging us; it is cleared for regular files.
    FileDescriptor source;
    int error = 0;
    if (file.within) {
        source.fd = file.within->openForRead(QFileInfo(file.sourcePath).fileName(), &error);
        if (error == ELOOP)
            return failed(file, QStringLiteral("这是一个链接，不会被读取。"), file.sourcePath);
        if (error == EINVAL)
            return failed(file, QStringLiteral("这不是普通文件，无法登记。"), file.sourcePath);
    } else {
        source.fd = ::open(QFile::encodeName(file.sourcePath).constData(),
                           O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        error = errno;
    }
    if (source.fd < 0) {
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
    return stageOpen(reg, file, source.fd, index, progress, cancel);
}

std::variant<std::unique_ptr<StagedCopy>, Outcome>
StagedCopy::stageOpen(const Register& reg, const File& file, int sourceFd, int index,
                      const Progress& progress, const std::atomic_bool* cancel)
{
    const QString shown = file.fileName;
    struct stat st;
    if (::fstat(sourceFd, &st) != 0)
        return failed(file, QStringLiteral("无法读取文件信息。"), systemText(errno));
    if (S_ISDIR(st.st_mode))
        return failed(file, QStringLiteral("这是一个文件夹，只能登记文件。"), file.sourcePath);
    if (!S_ISREG(st.st_mode))
        return failed(file, QStringLiteral("这不是普通文件，无法登记。"), file.sourcePath);
    ::fcntl(sourceFd, F_SETFL, ::fcntl(sourceFd, F_GETFL) & ~O_NONBLOCK);

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

    Result<StoreFolder> store = StoreFolder::open(reg);
    if (!store)
        return failed(file, store.error().message, store.error().detail);
    int lockError = 0;
    std::shared_ptr<LiveWriter> writer = LiveWriter::hold(store->path(), &lockError);
    if (!writer)
        return failed(file, StagedCopy::writeErrorText(lockError),
                      store->path() + QStringLiteral(": ") + systemText(lockError));
    const QString workingName = StoreFiles::partName(writer->owner());
    int createError = 0;
    const int targetFd = store->create(workingName, &createError);
    if (targetFd < 0)
        return failed(file, StagedCopy::writeErrorText(createError),
                      store->path() + QStringLiteral(": ") + systemText(createError));
    std::unique_ptr<StagedCopy> staged(
        new StagedCopy(file, index, std::move(store.value()), workingName, std::move(writer)));
    FileDescriptor target;
    target.fd = targetFd;

    ContentHash::Hasher hasher;
    const int copyError = FileCopy::copy(
        sourceFd, target.fd, total, hasher,
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
        return failed(file, StagedCopy::writeErrorText(copyError), systemText(copyError));
    if (copyError != 0)
        return failed(file, QStringLiteral("复制文件时出错。"), systemText(copyError));
    // A file that shrank or grew while it was read would be registered as a
    // copy of neither its old nor its new content.
    struct stat after;
    if (hasher.size() != total || ::fstat(sourceFd, &after) != 0 || after.st_size != total ||
        after.st_mtim.tv_sec != st.st_mtim.tv_sec || after.st_mtim.tv_nsec != st.st_mtim.tv_nsec)
        return failed(file, QStringLiteral("文件在复制时被改动，未登记，请稍后再试。"),
                      file.sourcePath);

    // The copy keeps the source's times, as a file manager shows the file's
    // own date rather than the day it was registered. Not worth failing for.
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(target.fd, times);
    // Only started here; flush() waits for it once the group is complete.
    ::sync_file_range(target.fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    staged->m_fd = std::exchange(target.fd, -1);
    staged->m_size = hasher.size();
    staged->m_hash = hasher.hex();
    return staged;
}

} // namespace Intake
