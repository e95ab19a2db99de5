#pragma once

#include "store/Audit.h"
#include "store/Result.h"

#include <QSqlDatabase>
#include <QStringList>

// The history table as SQL on one connection; the store's SQLite
// implementation writes it inside its own write methods.
namespace Audit {

// The table and its index by record and time; both made only when missing.
QStringList createStatements();

// Writes one entry for record `identity` now, by this program's user. Part
// of the caller's transaction.
Status write(const QSqlDatabase& db, const QString& action, qint64 identity,
             const QVariantMap& oldValues, const QVariantMap& newValues);

// The stored values of `columns` in the row of `table` whose `keyColumn` is
// `key`; an error with ErrorCode::NotFound when there is no such row.
Result<QVariantMap> valuesOf(const QSqlDatabase& db, const QString& table, const QString& keyColumn,
                             qint64 key, const QStringList& columns);

// Entries of the records `identities` (of every record when empty), newest
// first: by time, then the later written first.
Result<QList<Entry>> read(const QSqlDatabase& db, const QList<qint64>& identities);

} // namespace Audit
