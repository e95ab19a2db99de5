#pragma once

#include "base/Result.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The list that makes a folder a backup: which database file and which copies
// belong to it, each with its size and content hash. It is written last and
// put in place with one rename, so a folder holds either the previous
// complete backup or the new one, never half of one.
//
// One line per item, fields separated by tabs; names escaped as \t, \n, \r
// and \\. The last line counts the lines before it, so a list cut short is
// told from a complete one.
namespace BackupManifest {

inline const QString fileName = QStringLiteral("quorvel-backup.manifest");

struct Item {
    QString name;
    qint64 size = 0;
    QString hash;
    QStringList serials; // of the records naming a copy; none for the database
};

struct Manifest {
    int generation = 0;
    QString created; // ISO date and time, UTC
    Item database;   // its name is a file in the backup folder
    QList<Item> copies;
    QList<Item> binCopies;
    // Named by a record, but missing from the register when it was backed up.
    QStringList missing;
};

QByteArray write(const Manifest& manifest);
// Fails with what is wrong with the text.
Result<Manifest> parse(const QByteArray& text);

} // namespace BackupManifest
