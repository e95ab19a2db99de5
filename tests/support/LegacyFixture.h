#pragma once

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <map>

// The old-format registers of tests/data/legacy-registers, copied where a
// test may change them, and a fingerprint of a folder to show it unchanged.
namespace LegacyFixture {

inline QString copy(const QTemporaryDir& dir, const QString& name, const QString& as = {})
{
    const QString from = QStringLiteral(QUORVEL_LEGACY_DATA "/") + name;
    const QString to = dir.filePath(as.isEmpty() ? name : as);
    QDirIterator it(from, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString target = to + file.mid(from.size());
        QDir().mkpath(QFileInfo(target).path());
        QFile::copy(file, target);
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    }
    QDir().mkpath(to + QStringLiteral("/随机文件"));
    return to;
}

// Every file under `folder` (relative name) with its content hash.
inline std::map<QString, QByteArray> digests(const QString& folder)
{
    std::map<QString, QByteArray> result;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly)) {
            QCryptographicHash hash(QCryptographicHash::Sha256);
            hash.addData(&file);
            result[file.fileName().mid(folder.size())] = hash.result();
        }
    }
    return result;
}

} // namespace LegacyFixture
