#include "store/AuditTable.h"
#include "store/RecycleBinTable.h"
#include "store/RegisterNames.h"
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
    // What the entry had, to tell what the restore had to change.
    Result<QVariantMap> inBin =
        Audit::valuesOf(db, RecycleBin::table, RegisterNames::identity, identity,
                        {RegisterNames::serial, RegisterNames::storedName});
    if (!inBin)
        return inBin.error().code == ErrorCode::NotFound
                   ? Error{QStringLiteral("回收站中已没有这条记录。"), QString::number(identity)}
                   : inBin.error();
    Result<qint64> restored = RecycleBin::moveOut(db, identity, serial, storedName, sameIdentity);
    if (!restored)
        return restored.error();
    Result<QVariantMap> values =
        Audit::valuesOf(db, RegisterNames::recordTable, QStringLiteral("rowid"), *restored,
                        RegisterNames::recordColumns);
    if (!values)
        return values.error();
    QVariantMap newValues = Audit::present(*values);
    QVariantMap oldValues;
    for (auto it = inBin->cbegin(); it != inBin->cend(); ++it) {
        const QVariant kept = values->value(it.key());
        if (it.value().isNull() != kept.isNull() || it.value().toString() != kept.toString())
            oldValues.insert(it.key(), it.value());
    }
    if (*restored != identity) {
        oldValues.insert(RegisterNames::identity, identity);
        newValues.insert(RegisterNames::identity, *restored);
    }
    return Audit::write(db, Audit::restored, *restored, oldValues, newValues);
}

Status SqliteRecordStore::binRemove(qint64 identity)
{
    return RecycleBin::remove(db(), identity);
}

Result<QList<Audit::Entry>> SqliteRecordStore::history(const QList<qint64>& identities)
{
    return Audit::read(db(), identities);
}
