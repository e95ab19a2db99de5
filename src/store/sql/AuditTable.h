#pragma once

#include "base/Result.h"
#include "store/Audit.h"

#include <QSqlDatabase>
#include <QStringList>

// The history table as SQL on one connection, SQLite's or a server's; each
// store writes it inside its own write methods.
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

// The entry of a change of `columns` to `values` in record `identity`, whose
// values were `before`; none when nothing differs.
Status writeModified(const QSqlDatabase& db, qint64 identity, const QVariantMap& before,
                     const QStringList& columns, const QVariantList& values);

// The entries of two records that exchanged their serials `first` and `second`.
Status writeSwap(const QSqlDatabase& db, qint64 firstIdentity, const QVariant& first,
                 qint64 secondIdentity, const QVariant& second);

// The serial and stored name of bin entry `identity`, read before it is
// restored; an error saying the entry is gone when it is.
Result<QVariantMap> binValues(const QSqlDatabase& db, qint64 identity);

// The entry of bin entry `identity` restored as record `restored`, given what
// binValues() read before.
Status writeRestored(const QSqlDatabase& db, qint64 identity, qint64 restored,
                     const QVariantMap& inBin);

// Entries of the records `identities` (of every record when empty), newest
// first: the later written first, whatever the clocks of the programs
// that wrote them said.
Result<QList<Entry>> read(const QSqlDatabase& db, const QList<qint64>& identities);

} // namespace Audit
