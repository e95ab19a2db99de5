#include "store/sql/AccountTable.h"

#include "store/sql/Sql.h"

#include <QSqlQuery>

namespace AccountTable {

namespace {

QString id(const QString& name)
{
    return Sql::identifier(name);
}

// Runs `sql` on account `name`; NotFound when it changed no row.
Status changeOne(const QSqlDatabase& db, const QString& sql, const QVariantList& values,
                 const QString& name)
{
    Result<QSqlQuery> query = Sql::run(db, sql, values);
    if (!query)
        return query.error();
    if (query->numRowsAffected() == 0)
        return Error{missingText(name), QString(), ErrorCode::NotFound};
    return {};
}

Row rowOf(const QSqlQuery& query)
{
    return {query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
            query.value(3).toString()};
}

QString selectColumns()
{
    return QStringLiteral("SELECT %1, %2, %3, %4 FROM %5")
        .arg(id(nameColumn), id(hashColumn), id(roleColumn), id(createdColumn), id(table));
}

} // namespace

QString missingText(const QString& name)
{
    return QStringLiteral("没有名为“%1”的账户。").arg(name);
}

QStringList createStatements()
{
    return {QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2 TEXT PRIMARY KEY, %3 TEXT NOT NULL, "
                           "%4 TEXT NOT NULL, %5 TEXT NOT NULL)")
                .arg(id(table), id(nameColumn), id(hashColumn), id(roleColumn), id(createdColumn))};
}

Status insert(const QSqlDatabase& db, const Row& row)
{
    Result<std::optional<Row>> existing = find(db, row.name);
    if (!existing)
        return existing.error();
    if (existing->has_value())
        return Error{QStringLiteral("已有名为“%1”的账户。").arg(row.name), QString()};
    Result<QSqlQuery> inserted = Sql::run(
        db,
        QStringLiteral("INSERT INTO %1 (%2, %3, %4, %5) VALUES (?, ?, ?, ?)")
            .arg(id(table), id(nameColumn), id(hashColumn), id(roleColumn), id(createdColumn)),
        {row.name, row.hash, row.role, row.created});
    if (!inserted)
        return inserted.error();
    return {};
}

Result<QList<Row>> all(const QSqlDatabase& db)
{
    Result<QSqlQuery> query =
        Sql::run(db, selectColumns() + QStringLiteral(" ORDER BY %1").arg(id(nameColumn)));
    if (!query)
        return query.error();
    QList<Row> rows;
    while (query->next())
        rows << rowOf(*query);
    return rows;
}

Result<std::optional<Row>> find(const QSqlDatabase& db, const QString& name)
{
    Result<QSqlQuery> query =
        Sql::run(db, selectColumns() + QStringLiteral(" WHERE %1 = ?").arg(id(nameColumn)), {name});
    if (!query)
        return query.error();
    if (!query->next())
        return std::optional<Row>();
    return std::optional<Row>(rowOf(*query));
}

Status setHash(const QSqlDatabase& db, const QString& name, const QString& hash)
{
    return changeOne(db,
                     QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3 = ?")
                         .arg(id(table), id(hashColumn), id(nameColumn)),
                     {hash, name}, name);
}

Status setRole(const QSqlDatabase& db, const QString& name, const QString& role)
{
    return changeOne(db,
                     QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3 = ?")
                         .arg(id(table), id(roleColumn), id(nameColumn)),
                     {role, name}, name);
}

Status remove(const QSqlDatabase& db, const QString& name)
{
    return changeOne(db,
                     QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(id(table), id(nameColumn)),
                     {name}, name);
}

Result<qint64> countWithRole(const QSqlDatabase& db, const QString& role)
{
    Result<QVariant> count = Sql::scalar(
        db, QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = ?").arg(id(table), id(roleColumn)),
        {role});
    if (!count)
        return count.error();
    return count->toLongLong();
}

} // namespace AccountTable
