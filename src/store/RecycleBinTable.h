#pragma once

#include "store/RecycleBin.h"
#include "store/Result.h"

#include <QSqlDatabase>
#include <QVariant>

#include <optional>

// The bin's table as SQL on one connection; the store's SQLite
// implementation offers it to the rest of the program.
namespace RecycleBin {

QString createTable();

// Copies record `rowid` (with its digest) into the bin. Part of the caller's
// transaction, which deletes the record itself.
Status moveIn(const QSqlDatabase& db, qint64 rowid, const QString& binName,
              const QString& deletedAt);

// Newest deletion first.
Result<QList<Entry>> list(const QSqlDatabase& db);
Result<std::optional<Entry>> find(const QSqlDatabase& db, qint64 identity);
// Identities of the entries whose serial is `serial`.
Result<QList<qint64>> withSerial(const QSqlDatabase& db, qint64 serial);
// Identities of the entries deleted before `deletedAt` (same form).
Result<QList<qint64>> deletedBefore(const QSqlDatabase& db, const QString& deletedAt);

// Whether an entry's copy is called `binName` in the bin folder.
Result<bool> binNameTaken(const QSqlDatabase& db, const QString& binName);
// Whether a live record has this identity, this serial, or names this copy.
Result<bool> identityTaken(const QSqlDatabase& db, qint64 identity);
Result<bool> serialTaken(const QSqlDatabase& db, const QVariant& serial);
Result<bool> storedNameTaken(const QSqlDatabase& db, const QString& storedName);

// Puts entry `identity` back into the record table with `serial` and
// `storedName` (and its digest), under its own identity when `sameIdentity`,
// and removes it from the bin. Part of the caller's transaction. The
// record's identity as restored.
Result<qint64> moveOut(const QSqlDatabase& db, qint64 identity, const QVariant& serial,
                       const QString& storedName, bool sameIdentity);

// Removes entry `identity` from the bin. Part of the caller's transaction.
Status remove(const QSqlDatabase& db, qint64 identity);

} // namespace RecycleBin
