#include "store/folder/StoreFolder.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

QByteArray encoded(const QString& name)
{
    return QFile::encodeName(name);
}

StoreFolder::Type typeOf(mode_t mode)
{
    if (S_ISREG(mode))
        return StoreFolder::Type::File;
    if (S_ISLNK(mode))
        return StoreFolder::Type::Link;
    if (S_ISDIR(mode))
        return StoreFolder::Type::Folder;
    return StoreFolder::Type::Other;
}

int errorOf(StoreFolder::Type type)
{
    switch (type) {
    case StoreFolder::Type::Link:
        return ELOOP;
    case StoreFolder::Type::Folder:
        return EISDIR;
    case StoreFolder::Type::Other:
        return EINVAL;
    default:
        return ENOENT;
    }
}

} // namespace

Result<StoreFolder> StoreFolder::open(const Register& reg)
{
    return openPath(reg.storeFolder());
}

Result<StoreFolder> StoreFolder::openPath(const QString& path)
{
    const int fd =
        ::open(encoded(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0)
        return StoreFolder(fd, path);
    const int error = errno;
    struct stat st;
    const QString shown = QDir::toNativeSeparators(path);
    if (::lstat(encoded(path).constData(), &st) == 0 && S_ISLNK(st.st_mode))
        return Error{QStringLiteral("存储文件夹“%1”是一个链接，指向别处；为安全起见，"
                                    "不会通过它读取、复制或删除任何文件。")
                         .arg(shown),
                     QString::fromLocal8Bit(std::strerror(error))};
    if (error == ENOENT)
        return Error{QStringLiteral("存储文件夹“%1”不存在。").arg(shown), QString(),
                     ErrorCode::NotFound};
    if (error == ENOTDIR)
        return Error{QStringLiteral("存储文件夹“%1”不是一个文件夹。").arg(shown), QString()};
    return Error{QStringLiteral("无法打开存储文件夹“%1”。").arg(shown),
                 QString::fromLocal8Bit(std::strerror(error))};
}

Result<StoreFolder> StoreFolder::subfolder(const QString& name, bool create) const
{
    const QByteArray encodedName = encoded(name);
    if (create && ::mkdirat(m_fd, encodedName.constData(), 0777) != 0 && errno != EEXIST)
        return Error{QStringLiteral("无法创建文件夹“%1”。").arg(pathOf(name)),
                     QString::fromLocal8Bit(std::strerror(errno))};
    const int fd =
        ::openat(m_fd, encodedName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0)
        return StoreFolder(fd, pathOf(name));
    const int error = errno;
    const Entry found = entry(name);
    if (found.type == Type::Missing && found.error == 0)
        return Error{QStringLiteral("文件夹“%1”不存在。").arg(pathOf(name)), QString()};
    if (found.type != Type::Folder && found.type != Type::Missing)
        return Error{QStringLiteral("“%1”%2，不是文件夹；为安全起见，不会通过它读取、复制或删除"
                                    "任何文件。")
                         .arg(pathOf(name), typeText(found.type)),
                     QString()};
    return Error{QStringLiteral("无法打开文件夹“%1”。").arg(pathOf(name)),
                 QString::fromLocal8Bit(std::strerror(error))};
}

StoreFolder::StoreFolder(StoreFolder&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path))
{
}

StoreFolder& StoreFolder::operator=(StoreFolder&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
    }
    return *this;
}

StoreFolder::~StoreFolder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QString StoreFolder::pathOf(const QString& name) const
{
    return m_path + QLatin1Char('/') + name;
}

StoreFolder::Entry StoreFolder::entry(const QString& name) const
{
    return entryIn(m_fd, name);
}

StoreFolder::Entry StoreFolder::entryIn(int folder, const QString& name)
{
    Entry found;
    if (!Register::isPlainFileName(name))
        return found;
    if (::fstatat(folder, encoded(name).constData(), &found.st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT && errno != ENOTDIR)
            found.error = errno;
        return found;
    }
    found.type = typeOf(found.st.st_mode);
    return found;
}

int StoreFolder::openForRead(const QString& name, int* error) const
{
    return openForReadIn(m_fd, name, error);
}

int StoreFolder::openForReadIn(int folder, const QString& name, int* error)
{
    // Looked at first, so that a FIFO or a device is never even opened.
    const Entry before = entryIn(folder, name);
    if (before.type != Type::File) {
        *error = before.error != 0 ? before.error : errorOf(before.type);
        return -1;
    }
    const int fd = ::openat(folder, encoded(name).constData(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    // Swapped for something else in between: refuse that too.
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

int StoreFolder::create(const QString& name, int* error) const
{
    const int fd = ::openat(m_fd, encoded(name).constData(),
                            O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        *error = errno;
    return fd;
}

int StoreFolder::remove(const QString& name) const
{
    return ::unlinkat(m_fd, encoded(name).constData(), 0) == 0 ? 0 : errno;
}

int StoreFolder::renameNoReplace(const QString& from, const QString& to) const
{
    const QByteArray source = encoded(from);
    const QByteArray target = encoded(to);
    if (::renameat2(m_fd, source.constData(), m_fd, target.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    // File systems without the flag: a hard link never replaces either.
    if (::linkat(m_fd, source.constData(), m_fd, target.constData(), 0) == 0) {
        ::unlinkat(m_fd, source.constData(), 0);
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS && errno != EMLINK)
        return errno;
    return renameOverClaim(from, to);
}

int StoreFolder::renameOverClaim(const QString& from, const QString& to) const
{
    // Shares that know neither (some SMB mounts): the name is claimed by an
    // exclusive create, which fails where anything holds it, and the entry
    // is then renamed over that empty claim of our own.
    const QByteArray source = encoded(from);
    const QByteArray target = encoded(to);
    const int claim = ::openat(m_fd, target.constData(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (claim < 0)
        return errno;
    ::close(claim);
    if (::renameat(m_fd, source.constData(), m_fd, target.constData()) != 0) {
        const int error = errno;
        ::unlinkat(m_fd, target.constData(), 0);
        return error;
    }
    return 0;
}

int StoreFolder::link(const QString& from, const QString& to) const
{
    // No AT_SYMLINK_FOLLOW: a link is linked as itself, never its target.
    return ::linkat(m_fd, encoded(from).constData(), m_fd, encoded(to).constData(), 0) == 0 ? 0
                                                                                            : errno;
}

int StoreFolder::linkInto(const QString& from, const StoreFolder& target, const QString& to) const
{
    return ::linkat(m_fd, encoded(from).constData(), target.m_fd, encoded(to).constData(), 0) == 0
               ? 0
               : errno;
}

int StoreFolder::sync() const
{
    return ::fsync(m_fd) == 0 ? 0 : errno;
}

QString StoreFolder::typeText(Type type)
{
    switch (type) {
    case Type::Link:
        return QStringLiteral("是一个链接");
    case Type::Folder:
        return QStringLiteral("是一个文件夹");
    case Type::Other:
        return QStringLiteral("是一个管道或设备文件");
    default:
        return QString();
    }
}
