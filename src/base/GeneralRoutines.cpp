#include "base/GeneralRoutines.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace GeneralRoutines {

QString RandomName()
{
    static const char alphabet[] = "0123456789"
                                   "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                   "abcdefghijklmnopqrstuvwxyz";
    constexpr int alphabetSize = sizeof(alphabet) - 1;
    // Seeded once from the system's entropy source; thread-safe.
    QRandomGenerator* generator = QRandomGenerator::global();
    QString result;
    result.reserve(10);
    for (int i = 0; i < 10; ++i)
        result.append(QLatin1Char(alphabet[generator->bounded(alphabetSize)]));
    return result;
}

QString FileExtension(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1);
}

QString FileBaseName(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

namespace {

// Another process has an open descriptor on the same inode.
bool openedByAnotherProcess(dev_t device, ino_t inode)
{
    const QString self = QString::number(QCoreApplication::applicationPid());
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& pid : processes) {
        if (pid == self || pid.isEmpty() || !pid.front().isDigit())
            continue;
        const QString fdFolder = QStringLiteral("/proc/") + pid + QStringLiteral("/fd");
        const QStringList fds = QDir(fdFolder).entryList(QDir::Files | QDir::System);
        for (const QString& fd : fds) {
            struct stat st;
            const QByteArray link = QFile::encodeName(fdFolder + QLatin1Char('/') + fd);
            if (::stat(link.constData(), &st) == 0 && st.st_dev == device && st.st_ino == inode)
                return true;
        }
    }
    return false;
}

// A POSIX record lock or a BSD flock lock held by someone else.
bool lockedByAnotherProcess(int fd)
{
    struct flock probe;
    std::memset(&probe, 0, sizeof probe);
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    if (::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK)
        return true;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK;
    ::flock(fd, LOCK_UN);
    return false;
}

} // namespace

bool IsFileLocked(const QString& path)
{
    const QByteArray encoded = QFile::encodeName(path);
    // O_RDONLY without O_CREAT: a missing file stays missing.
    const int fd = ::open(encoded.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    const bool locked = IsFileLocked(fd);
    ::close(fd);
    return locked;
}

bool IsFileLocked(int fd)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
           (lockedByAnotherProcess(fd) || openedByAnotherProcess(st.st_dev, st.st_ino));
}

} // namespace GeneralRoutines
