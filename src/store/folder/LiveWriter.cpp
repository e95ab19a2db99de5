#include "store/folder/LiveWriter.h"

#include "base/GeneralRoutines.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::mutex registryMutex;
QHash<QString, std::weak_ptr<LiveWriter>>& registry()
{
    static QHash<QString, std::weak_ptr<LiveWriter>> writers;
    return writers;
}

QByteArray lockPath(const QString& storeFolder, const QString& owner)
{
    return QFile::encodeName(storeFolder + QLatin1Char('/') + LiveWriter::lockPrefix + owner);
}

// Whether the open file `fd` is still the one named `path`: a probe may
// have removed the name between our open and our lock.
bool stillNamed(int fd, const QByteArray& path)
{
    struct stat opened;
    struct stat named;
    return ::fstat(fd, &opened) == 0 && ::lstat(path.constData(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

} // namespace

const QString LiveWriter::lockPrefix = QStringLiteral(".quorvel-live-");

LiveWriter::LiveWriter(QString path, QString owner, int fd)
    : m_path(std::move(path)), m_owner(std::move(owner)), m_fd(fd)
{
}

std::shared_ptr<LiveWriter> LiveWriter::hold(const QString& storeFolder, int* error)
{
    const std::lock_guard<std::mutex> guard(registryMutex);
    if (std::shared_ptr<LiveWriter> held = registry().value(storeFolder).lock())
        return held;
    // Forget stores whose work is over, so a long session does not collect them.
    registry().removeIf([](const auto& entry) { return entry.value().expired(); });
    for (int attempt = 0; attempt < 8; ++attempt) {
        const QString owner = GeneralRoutines::RandomName();
        const QByteArray path = lockPath(storeFolder, owner);
        const int fd =
            ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            *error = errno;
            return nullptr;
        }
        // A probe that found the new file unlocked took it for a dead
        // program's and holds or removed it: start again under another name.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !stillNamed(fd, path)) {
            // Still ours by name: not left behind for the check to report.
            if (stillNamed(fd, path))
                ::unlink(path.constData());
            ::close(fd);
            continue;
        }
        std::shared_ptr<LiveWriter> writer(new LiveWriter(QFile::decodeName(path), owner, fd));
        registry().insert(storeFolder, writer);
        return writer;
    }
    *error = EEXIST;
    return nullptr;
}

LiveWriter::~LiveWriter()
{
    // Unnamed while still locked, so that nobody finds it unlocked and wonders.
    ::unlink(QFile::encodeName(m_path).constData());
    ::close(m_fd);
}

QString LiveWriter::ownerOfLockName(const QString& name)
{
    if (!name.startsWith(lockPrefix) || name.size() == lockPrefix.size())
        return QString();
    const QString owner = name.mid(lockPrefix.size());
    for (const QChar c : owner) {
        if (c.unicode() > 127 || !c.isLetterOrNumber())
            return QString();
    }
    return owner;
}

LiveProbe::LiveProbe(QString storeFolder) : m_storeFolder(std::move(storeFolder)) {}

LiveProbe::~LiveProbe()
{
    for (const int fd : std::as_const(m_dead)) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool LiveProbe::isAlive(const QString& owner)
{
    if (owner.isEmpty())
        return false;
    if (m_dead.contains(owner))
        return false;
    if (m_alive.contains(owner))
        return true;
    const QByteArray path = lockPath(m_storeFolder, owner);
    // No lock file: its program finished or died and nobody can hold it. Any
    // other doubt (not a plain file, no permission) counts for the files: a
    // device or a pipe planted under that name is never opened.
    struct stat st = {};
    const bool found = ::lstat(path.constData(), &st) == 0;
    if (!found && errno == ENOENT) {
        m_dead.insert(owner, -1);
        return false;
    }
    const int fd = found && S_ISREG(st.st_mode)
                       ? ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)
                       : -1;
    if (fd < 0) {
        m_alive.insert(owner);
        return true;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        m_dead.insert(owner, fd);
        return false;
    }
    ::close(fd);
    m_alive.insert(owner);
    return true;
}

bool LiveProbe::removeLockOf(const QString& owner)
{
    const int fd = m_dead.value(owner, -1);
    if (fd < 0)
        return false;
    const QByteArray path = lockPath(m_storeFolder, owner);
    return stillNamed(fd, path) && ::unlink(path.constData()) == 0;
}
