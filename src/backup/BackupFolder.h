#pragma once

#include "backup/BackupFiles.h"
#include "backup/BackupManifest.h"

#include <QHash>
#include <QString>

#include <optional>

// Names and small file steps shared by backup, verify and restore.
namespace BackupFolder {

// Working files of a backup in progress, in the backup folder and its copy
// folders: never part of a complete backup, removed by the next one.
inline const QString workingPrefix = QStringLiteral(".quorvel-backup-part-");
inline const QString lockName = QStringLiteral(".quorvel-backup-lock");

// The database file of backup `generation`.
QString databaseName(int generation);
bool isDatabaseName(const QString& name);

// The manifest in `folder`: none (Result holding nullopt) when there is no
// manifest file, an error when it cannot be read or is damaged.
Result<std::optional<BackupManifest::Manifest>> readManifest(int folder);

// Writes `bytes` to the new file `workingName` in `folder`, flushed.
Status writeFile(int folder, const QString& workingName, const QByteArray& bytes);

// Copies by name, for the lookups of one run.
QHash<QString, BackupManifest::Item> byName(const QList<BackupManifest::Item>& items);

// 0 or errno.
int rename(int folder, const QString& from, const QString& to);
int sync(int folder);

} // namespace BackupFolder
