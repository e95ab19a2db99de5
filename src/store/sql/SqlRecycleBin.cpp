#include "base/DateText.h"
#include "store/RecordFields.h"
#include "store/RegisterNames.h"
#include "store/sql/AuditTable.h"
#include "store/sql/ContentHash.h"
#include "store/sql/Sql.h"
#include "store/sql/SqlRecordStore.h"

#include <QSqlQuery>

// The recycle bin's table. It names an entry by the identity its record had
// (记录号 on both kinds of register).

namespace {

QString id(const QString& name)
{
    return Sql::identifier(name);
}

QString bin()
{
    return id(RecycleBin::table);
}

QString entryIdentity()
{
    return id(RegisterNames::identity);
}

// The record table's columns, quoted, with `prefix` before each.
QString recordColumns(const QString& prefix = QString())
{
    QStringList columns;
    for (const QString& column : RecordFields::columns())
        columns << prefix + id(column);
    return columns.join(QStringLiteral(", "));
}

QString selectEntries()
{
    return QStringLiteral("SELECT %1, %2, %3, %4, %5 FROM %6")
        .arg(recordColumns(), entryIdentity(), id(RecycleBin::deletedAtColumn),
             id(RecycleBin::binNameColumn), id(RecycleBin::sizeColumn), bin());
}

RecycleBin::Entry entryOf(const QSqlQuery& query)
{
    RecycleBin::Entry entry;
    const auto value = [&query](int column) {
        return query.value(column);
    };
    RecordFields::read(entry.record, value, 0);
    const int after = RecordFields::count;
    entry.record.rowid = query.value(after).toLongLong();
    entry.deletedAt = query.value(after + 1).toString();
    entry.binName = query.value(after + 2).toString();
    entry.size = query.value(after + 3).isNull() ? -1 : query.value(after + 3).toLongLong();
    return entry;
}

Result<QList<qint64>> identities(const QSqlDatabase& db, const QString& where,
                                 const QVariantList& values)
{
    Result<QSqlQuery> query = Sql::run(
        db,
        QStringLiteral("SELECT %1 FROM %2 WHERE %3 ORDER BY %1").arg(entryIdentity(), bin(), where),
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

Status SqlRecordStore::binMoveIn(qint64 identity, const QString& binName, const QString& deletedAt)
{
    using namespace ContentHash;
    const QString record = m_dialect.identity(QStringLiteral("r."));
    // The digest comes along only while it belongs to the record's copy.
    const QString sql =
        QStringLiteral("INSERT INTO %1 (%2, %3, %4, %5, %6, %7) SELECT %8, %16, %17, %17, "
                       "h.%9, h.%10 FROM %11 AS r LEFT JOIN %12 AS h ON h.%13 = %16 "
                       "AND h.%14 = r.%15 WHERE %16 = ?")
            .arg(bin(), recordColumns(), entryIdentity(), id(RecycleBin::deletedAtColumn),
                 id(RecycleBin::binNameColumn), id(RecycleBin::sizeColumn),
                 id(RecycleBin::hashColumn), recordColumns(QStringLiteral("r.")), id(sizeColumn))
            .arg(id(hashColumn), id(RegisterNames::recordTable), id(table), id(recordColumn),
                 id(storedNameColumn), id(RegisterNames::storedName), record, m_dialect.text());
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

Result<QList<RecycleBin::Entry>> SqlRecordStore::binEntries()
{
    Result<QSqlQuery> query = Sql::run(
        db(), selectEntries() + QStringLiteral(" ORDER BY %1 DESC, %2 DESC")
                                    .arg(id(RecycleBin::deletedAtColumn), entryIdentity()));
    if (!query)
        return query.error();
    QList<RecycleBin::Entry> entries;
    while (query->next())
        entries << entryOf(*query);
    return entries;
}

Result<std::optional<RecycleBin::Entry>> SqlRecordStore::binEntry(qint64 identity)
{
    Result<QSqlQuery> query = Sql::run(
        db(), selectEntries() + QStringLiteral(" WHERE %1 = ?").arg(entryIdentity()), {identity});
    if (!query)
        return query.error();
    if (!query->next())
        return std::optional<RecycleBin::Entry>();
    return std::optional<RecycleBin::Entry>(entryOf(*query));
}

Result<QList<qint64>> SqlRecordStore::binWithSerial(qint64 serial)
{
    const std::optional<SqlDialect::Condition> same =
        m_dialect.serialIs(id(RegisterNames::serial), serial);
    return identities(db(), same->sql, same->values);
}

Result<QList<qint64>> SqlRecordStore::binDeletedBefore(const QString& deletedAt)
{
    return identities(db(),
                      id(RecycleBin::deletedAtColumn) + QStringLiteral(" < ") + m_dialect.text(),
                      {deletedAt});
}

Result<bool> SqlRecordStore::binNameTaken(const QString& binName)
{
    return exists(db(),
                  QStringLiteral("SELECT 1 FROM %1 WHERE %2 = %3 LIMIT 1")
                      .arg(bin(), id(RecycleBin::binNameColumn), m_dialect.text()),
                  {binName});
}

Result<bool> SqlRecordStore::identityTaken(qint64 identity)
{
    return exists(db(),
                  QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ?")
                      .arg(id(RegisterNames::recordTable), m_dialect.identity()),
                  {identity});
}

Result<bool> SqlRecordStore::serialTaken(const QVariant& serial)
{
    const std::optional<SqlDialect::Condition> same =
        m_dialect.serialIs(id(RegisterNames::serial), serial);
    if (!same)
        return false;
    return exists(db(),
                  QStringLiteral("SELECT 1 FROM %1 WHERE %2 LIMIT 1")
                      .arg(id(RegisterNames::recordTable), same->sql),
                  same->values);
}

Result<bool> SqlRecordStore::storedNameTaken(const QString& storedName)
{
    return exists(
        db(),
        QStringLiteral("SELECT 1 FROM %1 WHERE %2 = %3 LIMIT 1")
            .arg(id(RegisterNames::recordTable), id(RegisterNames::storedName), m_dialect.text()),
        {storedName});
}

Status SqlRecordStore::binMoveOut(qint64 identity, const QVariant& serial,
                                  const QString& storedName, bool sameIdentity)
{
    using namespace ContentHash;
    const QSqlDatabase db = this->db();
    Result<QVariantMap> inBin = Audit::binValues(db, identity);
    if (!inBin)
        return inBin.error();
    QStringList rest; // the columns after serial, with the stored name replaced
    for (const QString& column : RecordFields::columns().mid(1))
        rest << (column == RegisterNames::storedName ? m_dialect.text() : id(column));
    // Without its own identity the record gets the next one never handed out.
    const QString own = sameIdentity ? QStringLiteral(", ") + entryIdentity() : QString();
    const QString insert =
        QStringLiteral("INSERT INTO %1 (%2%3) SELECT %4, %5%3 FROM %6 WHERE %7 = ?%8")
            .arg(id(RegisterNames::recordTable), recordColumns(), own, m_dialect.number(),
                 rest.join(QStringLiteral(", ")), bin(), entryIdentity(),
                 m_dialect.returningIdentity());
    Result<QSqlQuery> inserted = Sql::run(db, insert, {serial, storedName, identity});
    if (!inserted)
        return inserted.error();
    const std::optional<qint64> restored = m_dialect.insertedIdentity(*inserted);
    if (!restored)
        return Error{QStringLiteral("回收站中已没有这条记录。"), QString::number(identity)};
    const QString select =
        QStringLiteral("SELECT %1, %2, %3, %4 FROM %5 WHERE %6 = ? AND %4 IS "
                       "NOT NULL")
            .arg(m_dialect.number(), m_dialect.text(), id(RecycleBin::sizeColumn),
                 id(RecycleBin::hashColumn), bin(), entryIdentity());
    Result<QSqlQuery> hashed = Sql::run(
        db,
        m_dialect.upsert(table, {recordColumn, storedNameColumn, sizeColumn, hashColumn}, select),
        {*restored, storedName, identity});
    if (!hashed)
        return hashed.error();
    if (Status removed = binRemove(identity); !removed)
        return removed;
    return Audit::writeRestored(db, identity, *restored, *inBin);
}

Status SqlRecordStore::binRemove(qint64 identity)
{
    Result<QSqlQuery> removed =
        Sql::run(db(), QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(bin(), entryIdentity()),
                 {identity});
    if (!removed)
        return removed.error();
    if (removed->numRowsAffected() != 1)
        return Error{QStringLiteral("回收站中已没有这条记录。"), QString::number(identity)};
    return {};
}
