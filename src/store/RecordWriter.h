#pragma once

#include "store/Result.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// Writes whole records and query slots as they come, for filling a register
// that is being built from another one (every column given, nothing chosen).
namespace RecordWriter {

struct FullRecord {
    qint64 serial = 0;
    QString date; // ISO text or empty
    QString fileName;
    QString storedName;
    QString remark;
    QString recipient;
    QString method;
    QString folder;
};

// The record's rowid.
Result<qint64> insert(const QSqlDatabase& db, const FullRecord& record);

// The columns of a saved query, in the order `writeSlot` takes them.
const QStringList& queryColumns();

// Overwrites slot `slot` (1..9, the N-th row in rowid order) with `values`,
// one per query column.
Status writeSlot(const QSqlDatabase& db, int slot, const QStringList& values);

} // namespace RecordWriter
