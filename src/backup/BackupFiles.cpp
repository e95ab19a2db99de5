#include "backup/BackupFiles.h"

#include "base/GeneralRoutines.h"
#include "intake/FileCopy.h"
#include "store/folder/StoreFolder.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace BackupFiles {

Fd& Fd::operator=(Fd&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

Fd::~Fd()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

Fd openFolder(const QString& path, bool create)
{
    const QByteArray name = QFile::encodeName(path);
    if (create)
        ::mkdir(name.constData(), 0777);
    return Fd(::open(name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

Fd openFolderIn(int parent, const QString& name, bool create)
{
    const QByteArray encoded = QFile::encodeName(name);
    if (create)
        ::mkdirat(parent, encoded.constData(), 0777);
    return Fd(
        ::openat(parent, encoded.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

Fd openRegular(int folder, const QString& name, int* error)
{
    return Fd(StoreFolder::openForReadIn(folder, name, error));
}

QStringList names(int folder, bool regularOnly)
{
    QStringList found;
    const int listed = ::dup(folder);
    DIR* dir = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (!dir) {
        if (listed >= 0)
            ::close(listed);
        return found;
    }
    ::rewinddir(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        struct stat st;
        if (!regularOnly || (::fstatat(folder, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                             S_ISREG(st.st_mode)))
            found << QFile::decodeName(name);
    }
    ::closedir(dir);
    return found;
}

bool hasFile(int folder, const QString& name, qint64 size)
{
    const StoreFolder::Entry entry = StoreFolder::entryIn(folder, name);
    return entry.type == StoreFolder::Type::File && entry.st.st_size == size;
}

Result<ContentHash::Digest> copyTo(int source, int folder, const QString& workingName,
                                   const QString& shown)
{
    Fd target(::openat(folder, QFile::encodeName(workingName).constData(),
                       O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!target.valid())
        return Error{QStringLiteral("无法写入“%1”。").arg(shown), errorText(errno)};
    struct stat st = {};
    ::fstat(source, &st);
    ContentHash::Hasher hasher;
    int error = ::lseek(source, 0, SEEK_SET) == 0 ? 0 : errno;
    if (error == 0)
        error = FileCopy::copy(source, target.get(), st.st_size, hasher);
    if (error != 0) {
        ::unlinkat(folder, QFile::encodeName(workingName).constData(), 0);
        return Error{QStringLiteral("复制“%1”时出错。").arg(shown), errorText(error)};
    }
    return ContentHash::Digest{hasher.size(), hasher.hex()};
}

int syncAll(int folder)
{
    return ::syncfs(folder) == 0 ? 0 : errno;
}

QString workingName(const QString& prefix)
{
    return prefix + GeneralRoutines::RandomName();
}

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace BackupFiles
