#include "store/PgRecordStore.h"

#include "store/AuditTable.h"
#include "store/ContentHash.h"
#include "store/DateText.h"
#include "store/PgSql.h"
#include "store/RecycleBin.h"
#include "store/RegisterNames.h"
#include "store/Sql.h"

#include <QSqlQuery>
#include <QStringList>

// The recycle bin's table on a server, as the SQLite store keeps it.

namespace {

QString id(const QString& name)
{
    return Sql::identifier(name);
}

QString bin()
{
    return id(RecycleBin::table);
}

QString records()
{
    return id(RegisterNames::recordTable);
}

QString identity()
{
    return id(RegisterNames::identity);
}

// The record table's eight columns, quoted, with `prefix` before each.
QString recordColumns(const QString& prefix = QString())
{
    QStringList columns;
    for (const QString& column : RegisterNames::recordColumns)
        columns << prefix + id(column);
    return columns.join(QStringLiteral(", "));
}

QString selectEntries()
{
    return QStringLiteral("SELECT %1, %2, %3, %4, %5 FROM %6")
        .arg(recordColumns(), identity(), id(RecycleBin::deletedAtColumn),
             id(RecycleBin::binNameColumn), id(RecycleBin::sizeColumn), bin());
}

RecycleBin::Entry entryOf(const QSqlQuery& query)
{
    RecycleBin::Entry entry;
    RegisterRecord& r = entry.record;
    r.serial = query.value(0);
    r.date = DateText::toDisplay(query.value(1).toString());
    r.fileName = query.value(2).toString();
    r.storedName = query.value(3).toString();
    r.remark = query.value(4).toString();
    r.recipient = query.value(5).toString();
    r.method = query.value(6).toString();
    r.folder = query.value(7).toString();
    r.rowid = query.value(8).toLongLong();
    entry.deletedAt = query.value(9).toString();
    entry.binName = query.value(10).toString();
    entry.size = query.value(11).isNull() ? -1 : query.value(11).toLongLong();
    return entry;
}

Result<QList<qint64>> identities(const QSqlDatabase& db, const QString& where,
                                 const QVariantList& values)
{
    Result<QSqlQuery> query = Sql::run(
        db, QStringLiteral("SELECT %1 FROM %2 WHERE %3 ORDER BY %1").arg(identity(), bin(), where),
        values);
    if (!query)
        return query.error();
    QList<qint64> found;
    while (query->next())
        found << query->value(0).toLongLong();
    return found;
}

Result<bool> exists(const QSqlDatabase& db, const QString& sql, const QVariantList& values)
{
    Result<QSqlQuery> query = Sql::run(db, sql, values);
    if (!query)
        return query.error();
    return query->next();
}

} // namespace

Status PgRecordStore::binMoveIn(qint64 identity, const QString& binName, const QString& deletedAt)
{
    using namespace ContentHash;
    // The digest comes along only while it belongs to the record's copy.
    const QString sql =
        QStringLiteral("INSERT INTO %1 (%2, %3, %4, %5, %6, %7) SELECT %8, r.%3, ?::text, "
                       "?::text, h.%9, h.%10 FROM %11 AS r LEFT JOIN %12 AS h ON h.%13 = r.%3 "
                       "AND h.%14 = r.%15 WHERE r.%3 = ?")
            .arg(bin(), recordColumns(), ::identity(), id(RecycleBin::deletedAtColumn),
                 id(RecycleBin::binNameColumn), id(RecycleBin::sizeColumn),
                 id(RecycleBin::hashColumn), recordColumns(QStringLiteral("r.")), id(sizeColumn))
            .arg(id(hashColumn), records(), id(table), id(recordColumn), id(storedNameColumn),
                 id(RegisterNames::storedName));
    Result<QSqlQuery> inserted =
        Sql::run(db(), sql,
                 {deletedAt, binName.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : binName,
                  identity});
    if (!inserted)
        return inserted.error();
    if (inserted->numRowsAffected() != 1)
        return Error{QStringLiteral("无法把记录放入回收站。"), QString::number(identity)};
    return {};
}

Result<QList<RecycleBin::Entry>> PgRecordStore::binEntries()
{
    Result<QSqlQuery> query =
        Sql::run(db(), selectEntries() + QStringLiteral(" ORDER BY %1 DESC, %2 DESC")
                                             .arg(id(RecycleBin::deletedAtColumn), identity()));
    if (!query)
        return query.error();
    QList<RecycleBin::Entry> entries;
    while (query->next())
        entries << entryOf(*query);
    return entries;
}

Result<std::optional<RecycleBin::Entry>> PgRecordStore::binEntry(qint64 entry)
{
    Result<QSqlQuery> query =
        Sql::run(db(), selectEntries() + QStringLiteral(" WHERE %1 = ?").arg(identity()), {entry});
    if (!query)
        return query.error();
    if (!query->next())
        return std::optional<RecycleBin::Entry>();
    return std::optional<RecycleBin::Entry>(entryOf(*query));
}

Result<QList<qint64>> PgRecordStore::binWithSerial(qint64 serial)
{
    return identities(db(), QStringLiteral("%1 = ?::bigint").arg(id(RegisterNames::serial)),
                      {serial});
}

Result<QList<qint64>> PgRecordStore::binDeletedBefore(const QString& deletedAt)
{
    return identities(db(), QStringLiteral("%1 < ?::text").arg(id(RecycleBin::deletedAtColumn)),
                      {deletedAt});
}

Result<bool> PgRecordStore::binNameTaken(const QString& binName)
{
    return exists(db(),
                  QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ?::text LIMIT 1")
                      .arg(bin(), id(RecycleBin::binNameColumn)),
                  {binName});
}

Result<bool> PgRecordStore::identityTaken(qint64 entry)
{
    return exists(db(), QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ?").arg(records(), identity()),
                  {entry});
}

// The serial column holds only numbers: a serial that is none is not taken.
Result<bool> PgRecordStore::serialTaken(const QVariant& serial)
{
    bool number = false;
    const qint64 value = serial.toLongLong(&number);
    if (!number)
        return false;
    return exists(db(),
                  QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ?::bigint LIMIT 1")
                      .arg(records(), id(RegisterNames::serial)),
                  {value});
}

Result<bool> PgRecordStore::storedNameTaken(const QString& storedName)
{
    return exists(db(),
                  QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ?::text LIMIT 1")
                      .arg(records(), id(RegisterNames::storedName)),
                  {storedName});
}

Status PgRecordStore::binMoveOut(qint64 entry, const QVariant& serial, const QString& storedName,
                                 bool sameIdentity)
{
    using namespace ContentHash;
    Result<QVariantMap> inBin = Audit::binValues(db(), entry);
    if (!inBin)
        return inBin.error();
    QStringList rest; // the columns after serial, with the stored name replaced
    for (const QString& column : RegisterNames::recordColumns.mid(1))
        rest << (column == RegisterNames::storedName ? QStringLiteral("?::text") : id(column));
    // Without its own identity the record gets the next one of the sequence.
    const QString insert =
        QStringLiteral("INSERT INTO %1 (%2%3) SELECT ?::bigint, %4%5 FROM %6 WHERE %7 = ? "
                       "RETURNING %7")
            .arg(records(), recordColumns(),
                 sameIdentity ? QStringLiteral(", ") + identity() : QString(),
                 rest.join(QStringLiteral(", ")),
                 sameIdentity ? QStringLiteral(", ") + identity() : QString(), bin(), identity());
    Result<QSqlQuery> inserted = Sql::run(db(), insert, {serial, storedName, entry});
    if (!inserted)
        return inserted.error();
    if (!inserted->next())
        return Error{QStringLiteral("回收站中已没有这条记录。"), QString::number(entry)};
    const qint64 restored = inserted->value(0).toLongLong();
    Result<QSqlQuery> hashed = Sql::run(
        db(),
        QStringLiteral("INSERT INTO %1 (%2, %3, %4, %5) SELECT ?::bigint, ?::text, %6, %7 FROM %8 "
                       "WHERE %9 = ? AND %7 IS NOT NULL ON CONFLICT (%2) DO UPDATE SET "
                       "%3 = excluded.%3, %4 = excluded.%4, %5 = excluded.%5")
            .arg(id(table), id(recordColumn), id(storedNameColumn), id(sizeColumn), id(hashColumn),
                 id(RecycleBin::sizeColumn), id(RecycleBin::hashColumn), bin(), identity()),
        {restored, storedName, entry});
    if (!hashed)
        return hashed.error();
    if (Status removed = binRemove(entry); !removed)
        return removed;
    return Audit::writeRestored(db(), entry, restored, *inBin);
}

Status PgRecordStore::binRemove(qint64 entry)
{
    Result<QSqlQuery> removed = Sql::run(
        db(), QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(bin(), identity()), {entry});
    if (!removed)
        return removed.error();
    if (removed->numRowsAffected() != 1)
        return Error{QStringLiteral("回收站中已没有这条记录。"), QString::number(entry)};
    return {};
}
