#include "backup/Backup.h"

#include "backup/BackupFolder.h"
#include "base/SizeText.h"
#include "base/TestPause.h"
#include "store/folder/StoreFiles.h"
#include "store/folder/StoreFolder.h"
#include "store/sqlite/Snapshot.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Backup {

namespace {

using BackupFiles::Fd;
using BackupManifest::Item;

// A copy can vanish after the snapshot named it (deleted meanwhile); the
// next round takes a newer moment. Beyond this many rounds the register
// changes faster than it can be backed up.
constexpr int maxRounds = 5;

enum class Outcome { Reused, Copied, Vanished, NotAFile };

void removeFile(int folder, const QString& name)
{
    ::unlinkat(folder, QFile::encodeName(name).constData(), 0);
}

// Removes the regular files of `folder` that `keep` does not hold: copies of
// records deleted since, and working files of an interrupted backup.
void prune(int folder, const QSet<QString>& keep)
{
    for (const QString& name : BackupFiles::names(folder, true)) {
        if (!keep.contains(name))
            removeFile(folder, name);
    }
}

// The path with every link resolved, also where its last parts do not exist yet.
QString resolved(const QString& path)
{
    QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QString rest;
    while (!QFileInfo::exists(existing) && existing != QLatin1String("/")) {
        rest = QLatin1Char('/') + QFileInfo(existing).fileName() + rest;
        existing = QFileInfo(existing).absolutePath();
    }
    return QDir::cleanPath(QFileInfo(existing).canonicalFilePath() + rest);
}

bool isInside(const QString& path, const QString& folder)
{
    const QString inner = resolved(path);
    const QString base = resolved(folder);
    return inner == base || inner.startsWith(base + QLatin1Char('/'));
}

class Run {
public:
    Run(const Register& reg, StoreFolder store, const StepProgress& progress)
        : m_reg(reg), m_store(std::move(store)), m_progress(progress)
    {
    }

    Result<Report> run(const QString& destination);

private:
    Status openDestination(const QString& destination);
    Status takeRound(const QSet<QString>& suspects, QStringList* vanished);
    Result<Outcome> copyOne(int from, int to, const QString& name, const Item* earlier,
                            qint64 recordedSize, const QString& recordedHash, Item* item);
    Status copyBin(QStringList* vanished);
    Status publish();

    const Register& m_reg;
    StoreFolder m_store;
    const StepProgress& m_progress;
    QString m_destPath;
    Fd m_dest;
    Fd m_lock;
    Fd m_pool;
    std::optional<BackupManifest::Manifest> m_previous;
    QHash<QString, Item> m_earlier;        // copies of the previous backup and of this run
    QHash<QString, Item> m_earlierBin;     // the same for the recycle bin
    QList<Snapshot::NamedCopy> m_binNamed; // the bin's copies of the moment
    QSet<QString> m_gaps; // missing while no other program was half-way through a change
    QString m_databasePart;
    BackupManifest::Manifest m_manifest;
    Report m_report;
};

Status Run::openDestination(const QString& destination)
{
    const QString shown = QDir::toNativeSeparators(destination);
    if (isInside(destination, m_reg.folder()))
        return Error{QStringLiteral("备份不能放在登记库文件夹之内：“%1”。").arg(shown), QString()};
    QDir().mkpath(destination);
    m_destPath = destination;
    m_dest = BackupFiles::openFolder(destination, false);
    if (!m_dest.valid())
        return Error{QStringLiteral("无法打开或创建备份文件夹“%1”。").arg(shown),
                     BackupFiles::errorText(errno)};
    // Two backups into one folder would remove each other's files.
    m_lock = Fd(::openat(m_dest.get(), QFile::encodeName(BackupFolder::lockName).constData(),
                         O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!m_lock.valid())
        return Error{QStringLiteral("无法写入备份文件夹“%1”。").arg(shown),
                     BackupFiles::errorText(errno)};
    if (::flock(m_lock.get(), LOCK_EX | LOCK_NB) != 0)
        return Error{QStringLiteral("另一个程序正在向“%1”备份，请稍后再试。").arg(shown),
                     QString()};

    Result<std::optional<BackupManifest::Manifest>> previous =
        BackupFolder::readManifest(m_dest.get());
    // A damaged earlier backup is replaced by a complete new one.
    if (previous && previous.value())
        m_previous = previous.value();
    const bool hasManifest = !previous || previous.value();
    if (!hasManifest) {
        for (const QString& name : BackupFiles::names(m_dest.get(), false)) {
            const bool ours = name == BackupFolder::lockName ||
                              name.startsWith(BackupFolder::workingPrefix) || name == poolFolder ||
                              BackupFolder::isDatabaseName(name);
            if (!ours)
                return Error{QStringLiteral("文件夹“%1”不是空的，也不是 Quorvel 的备份，"
                                            "请选择一个空文件夹。")
                                 .arg(shown),
                             name};
        }
    }
    m_pool = BackupFiles::openFolderIn(m_dest.get(), poolFolder, true);
    if (!m_pool.valid())
        return Error{QStringLiteral("无法在“%1”中创建文件夹“%2”。").arg(shown, poolFolder),
                     BackupFiles::errorText(errno)};
    for (const QString& name : BackupFiles::names(m_dest.get(), false)) {
        if (name.startsWith(BackupFolder::workingPrefix))
            removeFile(m_dest.get(), name);
    }
    if (m_previous) {
        m_earlier = BackupFolder::byName(m_previous->copies);
        m_earlierBin = BackupFolder::byName(m_previous->binCopies);
    }
    return {};
}

Result<Outcome> Run::copyOne(int from, int to, const QString& name, const Item* earlier,
                             qint64 recordedSize, const QString& recordedHash, Item* item)
{
    // Copies never change in place: one the earlier backup holds is the same
    // file when the register records the same digest for it, or, where it
    // records none, when the sizes agree.
    if (earlier && BackupFiles::hasFile(to, name, earlier->size)) {
        struct stat st;
        const bool same = recordedSize >= 0
                              ? earlier->size == recordedSize && earlier->hash == recordedHash
                              : ::fstatat(from, QFile::encodeName(name).constData(), &st,
                                          AT_SYMLINK_NOFOLLOW) == 0 &&
                                    S_ISREG(st.st_mode) && st.st_size == earlier->size;
        if (same) {
            *item = *earlier;
            return Outcome::Reused;
        }
    }
    int error = 0;
    Fd source = BackupFiles::openRegular(from, name, &error);
    if (!source.valid()) {
        if (error == ENOENT)
            return Outcome::Vanished;
        if (error == ELOOP || error == EISDIR || error == EINVAL)
            return Outcome::NotAFile;
        return Error{QStringLiteral("无法读取存储副本“%1”。").arg(name),
                     BackupFiles::errorText(error)};
    }
    const QString working = BackupFiles::workingName(BackupFolder::workingPrefix);
    Result<ContentHash::Digest> digest = BackupFiles::copyTo(source.get(), to, working, name);
    if (!digest)
        return digest.error();
    *item = Item{name, digest->size, digest->hash, {}};
    if (earlier && earlier->size == digest->size && earlier->hash == digest->hash &&
        BackupFiles::hasFile(to, name, earlier->size)) {
        removeFile(to, working);
        return Outcome::Reused;
    }
    if (const int failed = BackupFolder::rename(to, working, name); failed != 0) {
        removeFile(to, working);
        return Error{QStringLiteral("无法写入备份副本“%1”。").arg(name),
                     BackupFiles::errorText(failed)};
    }
    m_report.bytesCopied += digest->size;
    return Outcome::Copied;
}

Status Run::takeRound(const QSet<QString>& suspects, QStringList* vanished)
{
    // Names that vanished in the last round are looked at again while no
    // other program is half-way through a change: missing then, they are
    // missing from the register itself.
    m_gaps.clear();
    Result<std::unique_ptr<Snapshot>> snapshot = Snapshot::take(m_reg, [&] {
        for (const QString& name : suspects) {
            if (m_store.entry(name).type != StoreFolder::Type::File)
                m_gaps.insert(name);
        }
    });
    if (!snapshot)
        return snapshot.error();
    Result<QList<Snapshot::NamedCopy>> named = snapshot.value()->namedCopies();
    if (!named)
        return named.error();
    Result<QList<Snapshot::NamedCopy>> binNamed = snapshot.value()->binCopies();
    if (!binNamed)
        return binNamed.error();
    m_binNamed = std::move(binNamed.value());
    if (!m_databasePart.isEmpty())
        removeFile(m_dest.get(), m_databasePart);
    m_databasePart = BackupFiles::workingName(BackupFolder::workingPrefix);
    if (Status written =
            snapshot.value()->writeTo(m_destPath + QLatin1Char('/') + m_databasePart, m_progress);
        !written)
        return written.error();
    snapshot.value().reset();
    // From here on other programs may delete what the moment names.
    TestPause::at("backup-snapshot-taken");

    m_manifest.copies.clear();
    m_manifest.missing.clear();
    m_report.missing.clear();
    m_report.changed.clear();
    const int total = int(named->size());
    for (int i = 0; i < total; ++i) {
        const Snapshot::NamedCopy& copy = named->at(i);
        if (m_progress && (i % 256 == 0 || i + 1 == total))
            m_progress(i, total);
        if (m_gaps.contains(copy.storedName)) {
            m_manifest.missing << copy.storedName;
            continue;
        }
        const auto earlier = m_earlier.constFind(copy.storedName);
        Item item;
        Result<Outcome> outcome = copyOne(m_store.descriptor(), m_pool.get(), copy.storedName,
                                          earlier == m_earlier.cend() ? nullptr : &earlier.value(),
                                          copy.size, copy.hash, &item);
        if (!outcome)
            return outcome.error();
        switch (outcome.value()) {
        case Outcome::Vanished:
            *vanished << copy.storedName;
            continue;
        case Outcome::NotAFile:
            m_manifest.missing << copy.storedName;
            continue;
        case Outcome::Copied:
            ++m_report.copied;
            break;
        case Outcome::Reused:
            break;
        }
        if (copy.size >= 0 && (copy.size != item.size || copy.hash != item.hash))
            m_report.changed << copy.storedName;
        item.serials = copy.serials;
        m_earlier.insert(item.name, item);
        m_manifest.copies << item;
    }
    m_report.missing = m_manifest.missing;
    return {};
}

// Copies the bin's copies that the moment's bin records name; one purged
// since that moment is reported in `vanished`, so the round is taken again.
Status Run::copyBin(QStringList* vanished)
{
    m_manifest.binCopies.clear();
    Fd from = BackupFiles::openFolderIn(m_store.descriptor(), binFolder, false);
    Fd to = BackupFiles::openFolderIn(m_pool.get(), binFolder, !m_binNamed.isEmpty());
    // No bin: whatever an earlier backup held of one goes once this one is published.
    if (m_binNamed.isEmpty())
        return {};
    if (!to.valid())
        return Error{QStringLiteral("无法在备份中创建回收站文件夹。"),
                     BackupFiles::errorText(errno)};
    for (const Snapshot::NamedCopy& copy : m_binNamed) {
        const auto earlier = m_earlierBin.constFind(copy.storedName);
        Item item;
        Outcome outcome = Outcome::Vanished;
        if (from.valid()) {
            Result<Outcome> copied =
                copyOne(from.get(), to.get(), copy.storedName,
                        earlier == m_earlierBin.cend() ? nullptr : &earlier.value(), copy.size,
                        copy.hash, &item);
            if (!copied)
                return copied.error();
            outcome = copied.value();
        }
        if (outcome == Outcome::Vanished || outcome == Outcome::NotAFile) {
            const QString inStore = binFolder + QLatin1Char('/') + copy.storedName;
            // Missing from the register's bin itself: told, not waited for.
            if (m_gaps.contains(inStore))
                m_report.missing << inStore;
            else
                *vanished << inStore;
            continue;
        }
        item.serials = copy.serials;
        m_earlierBin.insert(item.name, item);
        m_manifest.binCopies << item;
    }
    m_report.binCopies = int(m_manifest.binCopies.size());
    return {};
}

Status Run::publish()
{
    const int dest = m_dest.get();
    m_manifest.generation = m_previous ? m_previous->generation + 1 : 1;
    m_manifest.created = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    Result<ContentHash::Digest> database =
        ContentHash::ofFile(m_destPath + QLatin1Char('/') + m_databasePart);
    if (!database)
        return database.error();
    const QString databaseName = BackupFolder::databaseName(m_manifest.generation);
    m_manifest.database = Item{databaseName, database->size, database->hash, {}};
    const auto failed = [&](int error) {
        return Error{
            QStringLiteral("无法写入备份文件夹“%1”。").arg(QDir::toNativeSeparators(m_destPath)),
            BackupFiles::errorText(error)};
    };
    if (const int error = BackupFolder::rename(dest, m_databasePart, databaseName); error != 0)
        return failed(error);
    m_databasePart.clear();
    // Every copy, the database and the folders reach the disk before the
    // manifest names them.
    if (const int error = BackupFiles::syncAll(m_pool.get()); error != 0)
        return failed(error);
    const QString working = BackupFiles::workingName(BackupFolder::workingPrefix);
    if (Status written = BackupFolder::writeFile(dest, working, BackupManifest::write(m_manifest));
        !written)
        return written;
    if (const int error = BackupFolder::sync(dest); error != 0)
        return failed(error);
    // Until this rename the folder holds the previous backup, complete.
    TestPause::at("backup-publish");
    if (const int error = BackupFolder::rename(dest, working, BackupManifest::fileName);
        error != 0) {
        removeFile(dest, working);
        return failed(error);
    }
    if (const int error = BackupFolder::sync(dest); error != 0)
        return failed(error);

    // What the new backup no longer names: older databases, deleted copies.
    for (const QString& name : BackupFiles::names(dest, false)) {
        if (BackupFolder::isDatabaseName(name) && name != databaseName)
            removeFile(dest, name);
    }
    QSet<QString> copies;
    for (const Item& item : m_manifest.copies)
        copies.insert(item.name);
    prune(m_pool.get(), copies);
    Fd bin = BackupFiles::openFolderIn(m_pool.get(), binFolder, false);
    if (bin.valid()) {
        QSet<QString> binCopies;
        for (const Item& item : m_manifest.binCopies)
            binCopies.insert(item.name);
        prune(bin.get(), binCopies);
    }
    return {};
}

Result<Report> Run::run(const QString& destination)
{
    if (Status opened = openDestination(destination); !opened)
        return opened.error();
    m_report.destination = destination;
    QSet<QString> suspects;
    for (int round = 0;; ++round) {
        QStringList vanished;
        Status taken = takeRound(suspects, &vanished);
        if (taken && vanished.isEmpty())
            taken = copyBin(&vanished);
        if (!taken) {
            if (!m_databasePart.isEmpty())
                removeFile(m_dest.get(), m_databasePart);
            return taken.error();
        }
        if (vanished.isEmpty())
            break;
        if (round + 1 == maxRounds) {
            removeFile(m_dest.get(), m_databasePart);
            return Error{QStringLiteral("备份期间登记库的变化太多，未能取得一致的备份，"
                                        "请稍后再试。之前的备份仍然完好。"),
                         vanished.first()};
        }
        suspects = QSet<QString>(vanished.cbegin(), vanished.cend());
        for (const QString& name : m_manifest.missing)
            suspects.insert(name);
    }
    if (Status published = publish(); !published) {
        if (!m_databasePart.isEmpty())
            removeFile(m_dest.get(), m_databasePart);
        return published.error();
    }
    m_report.copies = int(m_manifest.copies.size());
    return m_report;
}

} // namespace

QString Report::text() const
{
    QString text = QStringLiteral("已备份到“%1”：%2 个存储副本（本次复制 %3 个，共 %4），"
                                  "回收站中 %5 个。")
                       .arg(QDir::toNativeSeparators(destination))
                       .arg(copies)
                       .arg(copied)
                       .arg(SizeText::of(bytesCopied))
                       .arg(binCopies);
    // A long list would bury the message: the first names, then a count.
    constexpr qsizetype shown = 20;
    const auto list = [&](const QStringList& names, const QString& line) {
        for (qsizetype i = 0; i < std::min(names.size(), shown); ++i)
            text += QLatin1Char('\n') + line.arg(names.at(i));
        if (names.size() > shown)
            text += QStringLiteral("\n……另有 %1 个。").arg(names.size() - shown);
    };
    list(missing, QStringLiteral("记录所指的存储副本“%1”在登记库中缺少或不是普通文件，"
                                 "备份中也没有。"));
    list(changed, QStringLiteral("存储副本“%1”与登记时的校验值不符，已按现状备份。"));
    return text;
}

Result<Report> run(const Register& reg, const QString& destination, const StepProgress& progress)
{
    Result<StoreFolder> store = StoreFolder::open(reg);
    if (!store)
        return store.error();
    Run backup(reg, std::move(store.value()), progress);
    return backup.run(destination);
}

} // namespace Backup
