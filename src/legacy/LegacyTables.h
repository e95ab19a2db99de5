#pragma once

#include "base/Result.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

// The two tables of an old register file as cells (see LegacyReader for the
// form of a cell), read whole. libmdb reads a file it cannot trust, so the
// reading runs in a program of its own (quorvel-legacy-reader) under time
// and memory limits: a file that makes libmdb crash, hang or eat memory
// costs that program only, and is reported as damaged.
namespace Legacy {

struct Tables {
    QList<QVariantList> records; // the record columns, in table order
    bool queryTable = false;     // whether the file lists 自定义查询
    QList<QVariantList> queries; // the query columns, in table order
};

// Reads `path` in this process. The reader program calls this.
Result<Tables> readTablesHere(const QString& path);

// Reads `path` through the reader program.
Result<Tables> readTables(const QString& path);

// What the reader program writes, and how its output is read back.
QByteArray encode(const Result<Tables>& tables);
Result<Tables> decode(const QByteArray& bytes, const QString& path);

} // namespace Legacy
