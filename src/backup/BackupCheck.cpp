#include "backup/Backup.h"

#include "backup/BackupFolder.h"
#include "store/RegisterNames.h"
#include "store/sqlite/Snapshot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace Backup {

namespace {

using BackupFiles::Fd;
using BackupManifest::Item;

// Where a restore writes what it checked: the working register folder.
struct Into {
    QString path;
    int folder = -1;
    int pool = -1;
    int bin = -1;
};

// Reads (or, for a restore, copies) `item` from `from` and says what is
// wrong with it, if anything.
std::optional<QString> checkItem(int from, const Item& item, const QString& shown, int into,
                                 const QString& intoName)
{
    if (from < 0)
        return QStringLiteral("缺少%1").arg(shown);
    int error = 0;
    Fd source = BackupFiles::openRegular(from, item.name, &error);
    if (!source.valid())
        return error == ENOENT
                   ? QStringLiteral("缺少%1").arg(shown)
                   : QStringLiteral("无法读取%1：%2").arg(shown, BackupFiles::errorText(error));
    Result<ContentHash::Digest> digest =
        into >= 0 ? BackupFiles::copyTo(source.get(), into, intoName, shown)
                  : ContentHash::ofOpenFile(source.get(), shown);
    if (!digest)
        return QStringLiteral("无法读取%1：%2").arg(shown, digest.error().detail);
    if (digest->size != item.size)
        return QStringLiteral("%1大小不符：应为 %2 字节，实为 %3 字节")
            .arg(shown)
            .arg(item.size)
            .arg(digest->size);
    if (digest->hash != item.hash)
        return QStringLiteral("%1内容已损坏（校验值不符）").arg(shown);
    return std::nullopt;
}

Result<Check> examine(const QString& source, const Into* into, const StepProgress& progress)
{
    const QString shownSource = QDir::toNativeSeparators(source);
    Fd folder = BackupFiles::openFolder(source, false);
    if (!folder.valid())
        return Error{QStringLiteral("无法打开备份文件夹“%1”。").arg(shownSource),
                     BackupFiles::errorText(errno)};
    Check check;
    Result<std::optional<BackupManifest::Manifest>> read = BackupFolder::readManifest(folder.get());
    if (read && !read.value())
        return Error{QStringLiteral("“%1”中没有 Quorvel 备份（缺少 %2）。")
                         .arg(shownSource, BackupManifest::fileName),
                     QString()};
    if (!read) {
        check.problems << read.error().message;
        return check;
    }
    const BackupManifest::Manifest& manifest = *read.value();
    check.copies = int(manifest.copies.size());
    check.binCopies = int(manifest.binCopies.size());

    // The database first: the records say which copies must be there.
    const QString databaseShown = QStringLiteral("数据库文件“%1”").arg(manifest.database.name);
    std::optional<QString> database =
        checkItem(folder.get(), manifest.database, databaseShown, into ? into->folder : -1,
                  RegisterNames::databaseFile);
    if (database) {
        check.problems << *database;
    } else {
        const QString path = into ? into->path + QLatin1Char('/') + RegisterNames::databaseFile
                                  : source + QLatin1Char('/') + manifest.database.name;
        Result<QList<Snapshot::NamedCopy>> named = Snapshot::readBackup(path);
        if (!named) {
            check.problems << named.error().message +
                                  QStringLiteral("（%1）").arg(named.error().detail);
        } else {
            QSet<QString> listed(manifest.missing.cbegin(), manifest.missing.cend());
            for (const Item& item : manifest.copies)
                listed.insert(item.name);
            for (const Snapshot::NamedCopy& copy : named.value()) {
                if (!listed.contains(copy.storedName))
                    check.problems << QStringLiteral("记录所指的存储副本“%1”不在备份清单中")
                                          .arg(copy.storedName);
            }
        }
    }
    for (const QString& name : manifest.missing)
        check.notes << QStringLiteral("记录所指的存储副本“%1”在备份时登记库中已缺少").arg(name);

    Fd pool = BackupFiles::openFolderIn(folder.get(), poolFolder, false);
    Fd bin = BackupFiles::openFolderIn(pool.get(), binFolder, false);
    const int total = int(manifest.copies.size() + manifest.binCopies.size());
    int done = 0;
    const auto each = [&](const QList<Item>& items, int from, int to, const QString& kind) {
        for (const Item& item : items) {
            if (progress && (done % 256 == 0 || done + 1 == total))
                progress(done, total);
            ++done;
            const QString working = BackupFiles::workingName(BackupFolder::workingPrefix);
            std::optional<QString> problem =
                checkItem(from, item, QStringLiteral("%1“%2”").arg(kind, item.name), to, working);
            if (problem)
                check.problems << *problem;
            else if (to >= 0 && BackupFolder::rename(to, working, item.name) != 0)
                check.problems << QStringLiteral("无法写入“%1”").arg(item.name);
        }
    };
    each(manifest.copies, pool.get(), into ? into->pool : -1, QStringLiteral("存储副本"));
    each(manifest.binCopies, bin.get(), into ? into->bin : -1, QStringLiteral("回收站副本"));
    return check;
}

const QString restoreInfix = QStringLiteral(".quorvel-restore-");

// Removes the working folders that earlier restores into `target` left when
// they were killed. A restore holds a lock on its working folder for as long
// as it runs, so a folder nobody holds is abandoned; the kernel drops the
// lock however the program ends.
void removeAbandoned(const QString& parent, const QString& target)
{
    const QString prefix = QStringLiteral(".") + target + restoreInfix;
    const QStringList names =
        QDir(parent).entryList({prefix + QLatin1Char('*')}, QDir::Dirs | QDir::Hidden);
    for (const QString& name : names) {
        const QString path = parent + QLatin1Char('/') + name;
        Fd held(::open(QFile::encodeName(path).constData(),
                       O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (held.valid() && ::flock(held.get(), LOCK_EX | LOCK_NB) == 0)
            QDir(path).removeRecursively();
    }
}

} // namespace

Result<Check> verify(const QString& source, const StepProgress& progress)
{
    return examine(source, nullptr, progress);
}

Result<Check> restore(const QString& source, const QString& target, const StepProgress& progress)
{
    const QFileInfo info(target);
    const QString shown = QDir::toNativeSeparators(info.absoluteFilePath());
    if (info.exists() &&
        (!info.isDir() || info.isSymLink() ||
         !QDir(target)
              .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
              .isEmpty()))
        return Error{QStringLiteral("“%1”不是空文件夹。恢复只写入空的或新的文件夹，"
                                    "不会覆盖已有的登记库。")
                         .arg(shown),
                     QString()};
    const QString parent = info.absolutePath();
    if (!QDir().mkpath(parent))
        return Error{QStringLiteral("无法创建文件夹“%1”。").arg(parent), QString()};
    // Everything goes into a hidden working folder that takes the target's
    // name only when complete and checked.
    removeAbandoned(parent, info.fileName());
    const QString working =
        parent + QStringLiteral("/.") + info.fileName() + BackupFiles::workingName(restoreInfix);
    Fd folder = BackupFiles::openFolder(working, true);
    if (folder.valid())
        ::flock(folder.get(), LOCK_EX | LOCK_NB);
    Fd pool = folder.valid() ? BackupFiles::openFolderIn(folder.get(), poolFolder, true) : Fd();
    Fd bin = pool.valid() ? BackupFiles::openFolderIn(pool.get(), binFolder, true) : Fd();
    const auto discard = [&] {
        QDir(working).removeRecursively();
    };
    if (!bin.valid()) {
        const int error = errno;
        discard();
        return Error{QStringLiteral("无法在“%1”中写入。").arg(parent),
                     BackupFiles::errorText(error)};
    }
    const Into into{working, folder.get(), pool.get(), bin.get()};
    Result<Check> check = examine(source, &into, progress);
    if (!check || !check->problems.isEmpty()) {
        discard();
        return check;
    }
    // An empty bin folder is not kept: the register makes one when needed.
    if (check->binCopies == 0)
        ::unlinkat(pool.get(), QFile::encodeName(binFolder).constData(), AT_REMOVEDIR);
    const bool flushed = BackupFiles::syncAll(folder.get()) == 0;
    // rename() also replaces an empty folder of the target's name.
    if (!flushed || std::rename(QFile::encodeName(working).constData(),
                                QFile::encodeName(info.absoluteFilePath()).constData()) != 0) {
        const int error = errno;
        discard();
        return Error{QStringLiteral("无法写入“%1”。").arg(shown), BackupFiles::errorText(error)};
    }
    Fd parentFolder = BackupFiles::openFolder(parent, false);
    if (parentFolder.valid())
        BackupFolder::sync(parentFolder.get());
    return check;
}

} // namespace Backup
