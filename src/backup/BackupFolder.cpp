#include "backup/BackupFolder.h"

#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace BackupFolder {

QString databaseName(int generation)
{
    return QStringLiteral("文件管理-%1.mdb").arg(generation);
}

bool isDatabaseName(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral("^文件管理-[0-9]+\\.mdb$"));
    return pattern.match(name).hasMatch();
}

Result<std::optional<BackupManifest::Manifest>> readManifest(int folder)
{
    int error = 0;
    BackupFiles::Fd fd = BackupFiles::openRegular(folder, BackupManifest::fileName, &error);
    if (!fd.valid() && error == ENOENT)
        return std::optional<BackupManifest::Manifest>();
    QFile file;
    if (!fd.valid() || !file.open(fd.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return Error{QStringLiteral("无法读取备份清单“%1”。").arg(BackupManifest::fileName),
                     BackupFiles::errorText(error)};
    // A manifest lists names and hashes: far below this even for millions of copies.
    if (file.size() > (qint64(1) << 31))
        return Error{QStringLiteral("备份清单已损坏：文件过大"), QString()};
    Result<BackupManifest::Manifest> manifest = BackupManifest::parse(file.readAll());
    if (!manifest)
        return manifest.error();
    return std::optional<BackupManifest::Manifest>(std::move(manifest.value()));
}

Status writeFile(int folder, const QString& workingName, const QByteArray& bytes)
{
    BackupFiles::Fd fd(::openat(folder, QFile::encodeName(workingName).constData(),
                                O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666));
    QFile file;
    if (!fd.valid() || !file.open(fd.get(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle) ||
        file.write(bytes) != bytes.size() || !file.flush() || ::fsync(fd.get()) != 0)
        return Error{QStringLiteral("无法写入备份清单。"), BackupFiles::errorText(errno)};
    return {};
}

QHash<QString, BackupManifest::Item> byName(const QList<BackupManifest::Item>& items)
{
    QHash<QString, BackupManifest::Item> found;
    found.reserve(items.size());
    for (const BackupManifest::Item& item : items)
        found.insert(item.name, item);
    return found;
}

int rename(int folder, const QString& from, const QString& to)
{
    return ::renameat(folder, QFile::encodeName(from).constData(), folder,
                      QFile::encodeName(to).constData()) == 0
               ? 0
               : errno;
}

int sync(int folder)
{
    return ::fsync(folder) == 0 ? 0 : errno;
}

} // namespace BackupFolder
