#include "store/AuditTable.h"
#include "store/RecycleBinTable.h"
#include "store/SqliteRecordStore.h"

// The recycle bin's part of the SQLite store: its table's statements on this
// thread's connection.

Status SqliteRecordStore::binMoveIn(qint64 identity, const QString& binName,
                                    const QString& deletedAt)
{
    return RecycleBin::moveIn(db(), identity, binName, deletedAt);
}

Result<QList<RecycleBin::Entry>> SqliteRecordStore::binEntries()
{
    return RecycleBin::list(db());
}

Result<std::optional<RecycleBin::Entry>> SqliteRecordStore::binEntry(qint64 identity)
{
    return RecycleBin::find(db(), identity);
}

Result<QList<qint64>> SqliteRecordStore::binWithSerial(qint64 serial)
{
    return RecycleBin::withSerial(db(), serial);
}

Result<QList<qint64>> SqliteRecordStore::binDeletedBefore(const QString& deletedAt)
{
    return RecycleBin::deletedBefore(db(), deletedAt);
}

Result<bool> SqliteRecordStore::binNameTaken(const QString& binName)
{
    return RecycleBin::binNameTaken(db(), binName);
}

Result<bool> SqliteRecordStore::identityTaken(qint64 identity)
{
    return RecycleBin::identityTaken(db(), identity);
}

Result<bool> SqliteRecordStore::serialTaken(const QVariant& serial)
{
    return RecycleBin::serialTaken(db(), serial);
}

Result<bool> SqliteRecordStore::storedNameTaken(const QString& storedName)
{
    return RecycleBin::storedNameTaken(db(), storedName);
}

Status SqliteRecordStore::binMoveOut(qint64 identity, const QVariant& serial,
                                     const QString& storedName, bool sameIdentity)
{
    const QSqlDatabase db = this->db();
    Result<QVariantMap> inBin = Audit::binValues(db, identity);
    if (!inBin)
        return inBin.error();
    Result<qint64> restored = RecycleBin::moveOut(db, identity, serial, storedName, sameIdentity);
    if (!restored)
        return restored.error();
    return Audit::writeRestored(db, identity, *restored, *inBin);
}

Status SqliteRecordStore::binRemove(qint64 identity)
{
    return RecycleBin::remove(db(), identity);
}

Result<QList<Audit::Entry>> SqliteRecordStore::history(const QList<qint64>& identities)
{
    return Audit::read(db(), identities);
}
