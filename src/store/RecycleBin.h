#pragma once

#include "store/RegisterRecord.h"
#include "store/Result.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <optional>

// The recycle bin's table: a deleted record keeps every column it had, its
// identity (记录号, so a restore gives back the same record), when it was
// deleted, the name of its copy in the bin folder and its recorded digest.
// The copies themselves lie in the folder `folderName` inside the store.
namespace RecycleBin {

inline const QString table = QStringLiteral("回收站");
inline const QString deletedAtColumn = QStringLiteral("删除时间");
inline const QString binNameColumn = QStringLiteral("回收名"); // NULL: it had no copy
inline const QString sizeColumn = QStringLiteral("大小");
inline const QString hashColumn = QStringLiteral("校验");

// Inside the store folder; hidden, so that it is never taken for a copy.
inline const QString folderName = QStringLiteral(".回收站");

struct Entry {
    RegisterRecord record; // rowid is the record's identity; date as shown
    QString deletedAt;     // "yyyy-MM-dd HH:mm:ss", local time
    QString binName;       // empty when the record had no copy
    qint64 size = -1;      // recorded size, -1 when none was recorded
};

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
// and removes it from the bin. Part of the caller's transaction.
Status moveOut(const QSqlDatabase& db, qint64 identity, const QVariant& serial,
               const QString& storedName, bool sameIdentity);

// Removes entry `identity` from the bin. Part of the caller's transaction.
Status remove(const QSqlDatabase& db, qint64 identity);

} // namespace RecycleBin
