#include "store/RecycleBinTable.h"

#include "store/ContentHash.h"
#include "store/DateText.h"
#include "store/RegisterNames.h"
#include "store/Sql.h"

#include <QSqlQuery>
#include <QStringList>

namespace RecycleBin {

namespace {

QString id(const QString& name)
{
    return Sql::identifier(name);
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
        .arg(recordColumns(), id(RegisterNames::identity), id(deletedAtColumn), id(binNameColumn),
             id(sizeColumn), id(table));
}

Entry entryOf(const QSqlQuery& query)
{
    Entry entry;
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
    Result<QSqlQuery> query = Sql::run(db,
                                       QStringLiteral("SELECT %1 FROM %2 WHERE %3 ORDER BY %1")
                                           .arg(id(RegisterNames::identity), id(table), where),
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

QString createTable()
{
    return QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2 INTEGER, %3 TEXT, %4 TEXT, %5 TEXT, "
                          "%6 TEXT, %7 TEXT, %8 TEXT, %9 TEXT, %10 INTEGER PRIMARY KEY, "
                          "%11 TEXT NOT NULL, %12 TEXT, %13 INTEGER, %14 TEXT)")
        .arg(id(table), id(RegisterNames::serial), id(RegisterNames::date),
             id(RegisterNames::fileName), id(RegisterNames::storedName), id(RegisterNames::remark),
             id(RegisterNames::recipient), id(RegisterNames::method), id(RegisterNames::folder))
        .arg(id(RegisterNames::identity), id(deletedAtColumn), id(binNameColumn), id(sizeColumn),
             id(hashColumn));
}

Status moveIn(const QSqlDatabase& db, qint64 rowid, const QString& binName,
              const QString& deletedAt)
{
    // The digest comes along only while it belongs to the record's copy.
    const QString sql =
        QStringLiteral(
            "INSERT INTO %1 (%2, %3, %4, %5, %6, %7) SELECT %8, r.rowid, ?, ?, h.%9, "
            "h.%10 FROM %11 AS r LEFT JOIN %12 AS h ON h.%13 = r.rowid AND h.%14 = r.%15 "
            "WHERE r.rowid = ?")
            .arg(id(table), recordColumns(), id(RegisterNames::identity), id(deletedAtColumn),
                 id(binNameColumn), id(sizeColumn), id(hashColumn),
                 recordColumns(QStringLiteral("r.")), id(ContentHash::sizeColumn))
            .arg(id(ContentHash::hashColumn), id(RegisterNames::recordTable),
                 id(ContentHash::table), id(ContentHash::recordColumn),
                 id(ContentHash::storedNameColumn), id(RegisterNames::storedName));
    Result<QSqlQuery> inserted = Sql::run(
        db, sql,
        {deletedAt, binName.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : binName, rowid});
    if (!inserted)
        return inserted.error();
    if (inserted->numRowsAffected() != 1)
        return Error{QStringLiteral("无法把记录放入回收站。"), QString::number(rowid)};
    return {};
}

Result<QList<Entry>> list(const QSqlDatabase& db)
{
    Result<QSqlQuery> query =
        Sql::run(db, selectEntries() + QStringLiteral(" ORDER BY %1 DESC, %2 DESC")
                                           .arg(id(deletedAtColumn), id(RegisterNames::identity)));
    if (!query)
        return query.error();
    QList<Entry> entries;
    while (query->next())
        entries << entryOf(*query);
    return entries;
}

Result<std::optional<Entry>> find(const QSqlDatabase& db, qint64 identity)
{
    Result<QSqlQuery> query = Sql::run(
        db, selectEntries() + QStringLiteral(" WHERE %1 = ?").arg(id(RegisterNames::identity)),
        {identity});
    if (!query)
        return query.error();
    if (!query->next())
        return std::optional<Entry>();
    return std::optional<Entry>(entryOf(*query));
}

Result<QList<qint64>> withSerial(const QSqlDatabase& db, qint64 serial)
{
    return identities(db, QStringLiteral("%1 = ? OR %1 = ?").arg(id(RegisterNames::serial)),
                      {serial, QString::number(serial)});
}

Result<QList<qint64>> deletedBefore(const QSqlDatabase& db, const QString& deletedAt)
{
    return identities(db, QStringLiteral("%1 < ?").arg(id(deletedAtColumn)), {deletedAt});
}

Result<bool> binNameTaken(const QSqlDatabase& db, const QString& binName)
{
    return exists(
        db,
        QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ? LIMIT 1").arg(id(table), id(binNameColumn)),
        {binName});
}

Result<bool> identityTaken(const QSqlDatabase& db, qint64 identity)
{
    return exists(
        db, QStringLiteral("SELECT 1 FROM %1 WHERE rowid = ?").arg(id(RegisterNames::recordTable)),
        {identity});
}

Result<bool> serialTaken(const QSqlDatabase& db, const QVariant& serial)
{
    return exists(db,
                  QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ? OR %2 = ? LIMIT 1")
                      .arg(id(RegisterNames::recordTable), id(RegisterNames::serial)),
                  {serial, serial.toString()});
}

Result<bool> storedNameTaken(const QSqlDatabase& db, const QString& storedName)
{
    return exists(db,
                  QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ? LIMIT 1")
                      .arg(id(RegisterNames::recordTable), id(RegisterNames::storedName)),
                  {storedName});
}

Result<qint64> moveOut(const QSqlDatabase& db, qint64 identity, const QVariant& serial,
                       const QString& storedName, bool sameIdentity)
{
    QStringList rest; // the columns after serial, with the stored name replaced
    for (const QString& column : RegisterNames::recordColumns.mid(1))
        rest << (column == RegisterNames::storedName ? QStringLiteral("?") : id(column));
    const QString insert =
        QStringLiteral("INSERT INTO %1 (%2, %3) SELECT ?, %4, %5 FROM %6 WHERE %3 = ?")
            .arg(id(RegisterNames::recordTable), recordColumns(), id(RegisterNames::identity),
                 rest.join(QStringLiteral(", ")),
                 sameIdentity ? id(RegisterNames::identity) : QStringLiteral("NULL"), id(table));
    Result<QSqlQuery> inserted = Sql::run(db, insert, {serial, storedName, identity});
    if (!inserted)
        return inserted.error();
    if (inserted->numRowsAffected() != 1)
        return Error{QStringLiteral("回收站中已没有这条记录。"), QString::number(identity)};
    const qint64 rowid = inserted->lastInsertId().toLongLong();
    Result<QSqlQuery> hashed = Sql::run(
        db,
        QStringLiteral("INSERT OR REPLACE INTO %1 (%2, %3, %4, %5) SELECT ?, ?, %6, %7 FROM %8 "
                       "WHERE %9 = ? AND %7 IS NOT NULL")
            .arg(id(ContentHash::table), id(ContentHash::recordColumn),
                 id(ContentHash::storedNameColumn), id(ContentHash::sizeColumn),
                 id(ContentHash::hashColumn), id(sizeColumn), id(hashColumn), id(table),
                 id(RegisterNames::identity)),
        {rowid, storedName, identity});
    if (!hashed)
        return hashed.error();
    if (Status removed = remove(db, identity); !removed)
        return removed.error();
    return rowid;
}

Status remove(const QSqlDatabase& db, qint64 identity)
{
    Result<QSqlQuery> removed = Sql::run(
        db,
        QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(id(table), id(RegisterNames::identity)),
        {identity});
    if (!removed)
        return removed.error();
    if (removed->numRowsAffected() != 1)
        return Error{QStringLiteral("回收站中已没有这条记录。"), QString::number(identity)};
    return {};
}

} // namespace RecycleBin
