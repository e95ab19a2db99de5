#pragma once

#include "base/Result.h"

#include <QSqlDatabase>
#include <QSqlQuery>
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

// Inserts many records with their content hashes through statements
// prepared once: on a register of many thousands of records, preparing each
// insert again (with the triggers of the search indexes) would cost more
// than the writing.
class Writer {
public:
    explicit Writer(const QSqlDatabase& db);

    // The record's rowid.
    Result<qint64> insert(const FullRecord& record);
    // As ContentHash::record, for the record inserted last.
    Status recordHash(qint64 rowid, qint64 size, const QString& hash);
    // The history entry `action` of the record inserted last, with its values
    // as the new ones.
    Status recordHistory(qint64 rowid, const QString& action);

private:
    QSqlQuery m_insert;
    QSqlQuery m_hash;
    QSqlQuery m_history;
    QString m_lastStoredName;
    QVariantList m_lastValues;
};

// The columns of a saved query, in the order `writeSlot` takes them.
const QStringList& queryColumns();

// Overwrites slot `slot` (1..9, the N-th row in rowid order) with `values`,
// one per query column.
Status writeSlot(const QSqlDatabase& db, int slot, const QStringList& values);

} // namespace RecordWriter
