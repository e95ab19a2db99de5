#include "inbox/InboxWatcher.h"

#include "base/TestPause.h"
#include "intake/Intake.h"
#include "store/Audit.h"
#include "store/sql/ContentHash.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Attempts at a file that fails while others go in, before it is set aside.
constexpr int attemptsBeforeRefusal = 3;
// Notes of files taken are kept this long: long after any restart.
constexpr int daysNotesKept = 30;

// What browsers write while downloading, renamed when done; and hidden files,
// which programs write before renaming them into place.
bool awaited(const QString& name)
{
    return !name.startsWith(QLatin1Char('.')) && !name.endsWith(QLatin1String(".part")) &&
           !name.endsWith(QLatin1String(".crdownload"));
}

std::optional<struct stat> statOf(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return st;
}

qint64 modifiedMs(const struct stat& st)
{
    return qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

// Whether another program holds the file open for writing. A read lease is
// refused exactly then; where leases are not to be had (another user's file,
// a network file system) the size and time alone decide.
bool beingWritten(const QString& path)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool busy = false;
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0)
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
    else
        busy = errno == EAGAIN || errno == EBUSY;
    ::close(fd);
    return busy;
}

// A name in `folder` not yet taken, after `name`: "a.pdf", "a (2).pdf", ...
QString freeName(const QDir& folder, const QString& name)
{
    const QFileInfo info(name);
    const QString base = info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    QString candidate = name;
    for (int n = 2; QFileInfo::exists(folder.filePath(candidate)) ||
                    QFileInfo::exists(folder.filePath(candidate + Inbox::noteSuffix));
         ++n)
        candidate = QStringLiteral("%1 (%2)%3").arg(base).arg(n).arg(suffix);
    return candidate;
}

} // namespace

InboxWatcher::InboxWatcher(Register reg, std::chrono::milliseconds settle, QObject* parent)
    : QObject(parent), m_register(std::move(reg)), m_settle(settle)
{
    m_clock.start();
}

InboxWatcher::~InboxWatcher()
{
    m_register.closeConnection();
}

Status InboxWatcher::start()
{
    Result<Inbox::Settings> settings = Inbox::settings(m_register);
    if (!settings)
        return settings.error();
    if (settings->folder.isEmpty())
        return Error{QStringLiteral("登记库还没有收件箱，请先设置收件箱文件夹。"), QString()};
    if (!QFileInfo(settings->folder).isDir())
        return Error{QStringLiteral("收件箱文件夹“%1”不存在。").arg(settings->folder), QString()};
    m_settings = *settings;
    (void)InboxTable::forgetTakenBefore(m_register.database(),
                                        QDateTime::currentDateTime()
                                            .addDays(-daysNotesKept)
                                            .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    m_watcher = new QFileSystemWatcher(this);
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &InboxWatcher::scanFolder);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, [this](const QString& path) {
        observe(QFileInfo(path).fileName());
        schedule();
    });
    connect(m_timer, &QTimer::timeout, this, &InboxWatcher::takeSettled);
    if (!m_watcher->addPath(m_settings.folder))
        return Error{QStringLiteral("无法监视收件箱文件夹“%1”。").arg(m_settings.folder),
                     QString()};
    scanFolder();
    return {};
}

QString InboxWatcher::pathOf(const QString& name) const
{
    return QDir(m_settings.folder).filePath(name);
}

void InboxWatcher::scanFolder()
{
    const QStringList names =
        QDir(m_settings.folder)
            .entryList(QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    QSet<QString> present;
    for (const QString& name : names) {
        if (!awaited(name))
            continue;
        present.insert(name);
        observe(name);
    }
    const QStringList known = m_pending.keys();
    for (const QString& name : known) {
        if (!present.contains(name))
            forget(name);
    }
    schedule();
}

void InboxWatcher::observe(const QString& name)
{
    const std::optional<struct stat> st = statOf(pathOf(name));
    if (!st) {
        forget(name);
        return;
    }
    auto found = m_pending.find(name);
    if (found == m_pending.end()) {
        found = m_pending.insert(name, Pending());
        if (S_ISREG(st->st_mode))
            m_watcher->addPath(pathOf(name));
    }
    if (found->size != qint64(st->st_size) || found->modified != modifiedMs(*st)) {
        found->size = qint64(st->st_size);
        found->modified = modifiedMs(*st);
        found->quietSince = m_clock.elapsed();
    }
}

void InboxWatcher::forget(const QString& name)
{
    if (m_pending.remove(name))
        m_watcher->removePath(pathOf(name));
}

void InboxWatcher::schedule()
{
    if (m_pending.isEmpty()) {
        m_timer->stop();
        return;
    }
    qint64 next = std::numeric_limits<qint64>::max();
    for (const Pending& pending : std::as_const(m_pending))
        next = std::min(next, std::max(pending.quietSince + m_settle.count(), pending.retryAt));
    m_timer->start(int(std::clamp<qint64>(next - m_clock.elapsed(), 0, 3600000)));
}

void InboxWatcher::takeSettled()
{
    QStringList ready;
    const QStringList names = m_pending.keys();
    for (const QString& name : names) {
        observe(name);
        const auto found = m_pending.constFind(name);
        if (found == m_pending.constEnd())
            continue;
        const qint64 now = m_clock.elapsed();
        if (now < found->quietSince + m_settle.count() || now < found->retryAt)
            continue;
        if (beingWritten(pathOf(name))) {
            m_pending[name].quietSince = now;
            continue;
        }
        ready << name;
    }
    // In the order they arrived, so their serials follow it.
    std::sort(ready.begin(), ready.end(), [this](const QString& a, const QString& b) {
        return std::pair(m_pending[a].modified, a) < std::pair(m_pending[b].modified, b);
    });
    if (!ready.isEmpty())
        take(ready);
    schedule();
}

Result<bool> InboxWatcher::takenBefore(const QString& name, const Pending& pending)
{
    Result<QStringList> hashes =
        InboxTable::takenHashes(m_register.database(), name, pending.size, pending.modified);
    if (!hashes)
        return hashes.error();
    if (hashes->isEmpty())
        return false;
    Result<ContentHash::Digest> digest = ContentHash::ofFile(pathOf(name));
    if (!digest)
        return digest.error();
    return hashes->contains(digest->hash);
}

void InboxWatcher::take(const QStringList& names)
{
    QList<Intake::File> files;
    QList<Pending> seen;
    for (const QString& name : names) {
        const Pending pending = m_pending.value(name);
        const QString path = pathOf(name);
        const std::optional<struct stat> st = statOf(path);
        if (!st) {
            forget(name);
            continue;
        }
        if (S_ISLNK(st->st_mode)) {
            refuse(name, QStringLiteral("这是一个链接，不会被读取。"));
            continue;
        }
        if (!S_ISREG(st->st_mode)) {
            refuse(name, QStringLiteral("这不是普通文件，无法登记。"));
            continue;
        }
        if (st->st_size == 0) {
            refuse(name, Intake::emptyFileMessage);
            continue;
        }
        if (::access(QFile::encodeName(path).constData(), R_OK) != 0) {
            refuse(name, QStringLiteral("没有读取此文件的权限。"));
            continue;
        }
        Result<bool> before = takenBefore(name, pending);
        if (!before) {
            retryLater(name, before.error());
            continue;
        }
        if (*before) {
            // Registered by a run that ended before removing it.
            QFile::remove(path);
            forget(name);
            continue;
        }
        Intake::File file = Intake::File::fromPath(path);
        Intake::Details details;
        // The day it came into the folder: creating or moving a file there
        // sets its status time, whatever time it says it was written.
        details.date = QDateTime::fromSecsSinceEpoch(st->st_ctim.tv_sec).date();
        details.recipient = m_settings.recipient;
        details.method = m_settings.method;
        details.folder = m_settings.recordFolder;
        file.details = details;
        const qint64 modified = pending.modified;
        file.recorded = [this, name, modified](qint64 identity, qint64 size, const QString& hash) {
            return InboxTable::noteTaken(m_register.database(), {name, size, modified, hash},
                                         identity);
        };
        files << file;
        seen << pending;
    }
    if (files.isEmpty())
        return;
    Intake::runBatch(m_register, files, Intake::Details(), {}, &m_cancel,
                     [&](int index, const Intake::Outcome& outcome) {
                         const QString name = QFileInfo(files.at(index).sourcePath).fileName();
                         switch (outcome.kind) {
                         case Intake::Outcome::Registered:
                             registeredFile(name, seen.at(index), outcome.serial);
                             break;
                         case Intake::Outcome::EmptySkipped:
                             refuse(name, Intake::emptyFileMessage);
                             break;
                         case Intake::Outcome::Cancelled:
                             break;
                         case Intake::Outcome::Failed:
                             retryLater(name, outcome.error);
                             break;
                         }
                     });
}

void InboxWatcher::registeredFile(const QString& name, const Pending& seen, qint64 serial)
{
    ++m_registered;
    TestPause::at("inbox-registered");
    // Removed only when it is still the file registered: one written again
    // meanwhile is a new arrival.
    const QString path = pathOf(name);
    const std::optional<struct stat> st = statOf(path);
    if (st && qint64(st->st_size) == seen.size && modifiedMs(*st) == seen.modified) {
        QFile::remove(path);
        forget(name);
    } else {
        observe(name);
    }
    Q_EMIT fileRegistered(name, serial, m_registered);
}

void InboxWatcher::retryLater(const QString& name, const Error& error)
{
    auto found = m_pending.find(name);
    if (found == m_pending.end())
        return;
    // The register's trouble is no fault of the file's.
    const bool registerTrouble = error.code == ErrorCode::Busy ||
                                 error.code == ErrorCode::Disconnected ||
                                 error.code == ErrorCode::Uncertain;
    if (!registerTrouble && ++found->failures >= attemptsBeforeRefusal) {
        refuse(name, error.message);
        return;
    }
    found->retryAt = m_clock.elapsed() + 2000 * std::max(1, found->failures);
    Q_EMIT problem(QStringLiteral("“%1”：%2").arg(name, error.fullText()));
}

void InboxWatcher::refuse(const QString& name, const QString& reason)
{
    QDir inbox(m_settings.folder);
    inbox.mkdir(Inbox::refusedFolder);
    const QDir refused(inbox.filePath(Inbox::refusedFolder));
    const QString target = freeName(refused, name);
    if (::rename(QFile::encodeName(pathOf(name)).constData(),
                 QFile::encodeName(refused.filePath(target)).constData()) != 0) {
        Error error{QStringLiteral("无法把“%1”移到%2。").arg(name, Inbox::refusedFolder),
                    QString::fromLocal8Bit(std::strerror(errno))};
        auto found = m_pending.find(name);
        if (found != m_pending.end())
            found->retryAt = m_clock.elapsed() + 60000;
        Q_EMIT problem(error.fullText());
        return;
    }
    QFile note(refused.filePath(target + Inbox::noteSuffix));
    if (note.open(QIODevice::WriteOnly))
        note.write(QStringLiteral("“%1”未能登记：%2\n时间：%3\n")
                       .arg(name, reason, Audit::now())
                       .toUtf8());
    forget(name);
    Q_EMIT fileRefused(name, reason);
}
