#include "store/sql/AuditTable.h"

#include "store/RecordFields.h"
#include "store/RecycleBin.h"
#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "store/sql/SqlDialect.h"

#include <QSqlQuery>

namespace Audit {

namespace {

QString id(const QString& name)
{
    return Sql::identifier(name);
}

} // namespace

QStringList createStatements()
{
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2 INTEGER PRIMARY KEY, %3 TEXT NOT NULL, "
                       "%4 TEXT NOT NULL, %5 TEXT NOT NULL, %6 INTEGER NOT NULL, "
                       "%7 TEXT NOT NULL, %8 TEXT NOT NULL)")
            .arg(id(table), id(numberColumn), id(timeColumn), id(userColumn), id(actionColumn),
                 id(identityColumn), id(oldColumn), id(newColumn)),
        QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3, %4)")
            .arg(id(table + QStringLiteral("_记录号")), id(table), id(identityColumn),
                 id(timeColumn)),
    };
}

Status write(const QSqlDatabase& db, const QString& action, qint64 identity,
             const QVariantMap& oldValues, const QVariantMap& newValues)
{
    Result<QSqlQuery> inserted =
        Sql::run(db,
                 QStringLiteral("INSERT INTO %1 (%2, %3, %4, %5, %6, %7) VALUES (?, ?, ?, ?, ?, ?)")
                     .arg(id(table), id(timeColumn), id(userColumn), id(actionColumn),
                          id(identityColumn), id(oldColumn), id(newColumn)),
                 {now(), userName(), action, identity, encode(oldValues), encode(newValues)});
    if (!inserted)
        return inserted.error();
    return {};
}

Result<QVariantMap> valuesOf(const QSqlDatabase& db, const QString& table, const QString& keyColumn,
                             qint64 key, const QStringList& columns)
{
    QStringList quoted;
    for (const QString& column : columns)
        quoted << id(column);
    Result<QSqlQuery> query =
        Sql::run(db,
                 QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                     .arg(quoted.join(QStringLiteral(", ")), id(table),
                          keyColumn == QLatin1String("rowid") ? keyColumn : id(keyColumn)),
                 {key});
    if (!query)
        return query.error();
    if (!query->next())
        return Error{QStringLiteral("该记录已不存在，请刷新视图。"), QString::number(key),
                     ErrorCode::NotFound};
    QVariantMap values;
    for (int i = 0; i < columns.size(); ++i)
        values.insert(columns[i], query->value(i));
    return values;
}

Status writeModified(const QSqlDatabase& db, qint64 identity, const QVariantMap& before,
                     const QStringList& columns, const QVariantList& values)
{
    QVariantMap after;
    for (qsizetype i = 0; i < columns.size() && i < values.size(); ++i)
        after.insert(columns[i], values[i]);
    const auto [oldValues, newValues] = differences(before, after);
    if (newValues.isEmpty())
        return {};
    return write(db, modified, identity, oldValues, newValues);
}

Status writeSwap(const QSqlDatabase& db, qint64 firstIdentity, const QVariant& first,
                 qint64 secondIdentity, const QVariant& second)
{
    const QString column = RegisterNames::serial;
    if (Status logged = write(db, moved, firstIdentity, {{column, first}}, {{column, second}});
        !logged)
        return logged;
    return write(db, moved, secondIdentity, {{column, second}}, {{column, first}});
}

Result<QVariantMap> binValues(const QSqlDatabase& db, qint64 identity)
{
    Result<QVariantMap> values = valuesOf(db, RecycleBin::table, RegisterNames::identity, identity,
                                          {RegisterNames::serial, RegisterNames::storedName});
    if (!values && values.error().code == ErrorCode::NotFound)
        return Error{QStringLiteral("回收站中已没有这条记录。"), QString::number(identity)};
    return values;
}

Status writeRestored(const QSqlDatabase& db, qint64 identity, qint64 restored,
                     const QVariantMap& inBin)
{
    Result<QVariantMap> values =
        valuesOf(db, RegisterNames::recordTable, SqlDialect::of(db).identityName(), restored,
                 RecordFields::columns());
    if (!values)
        return values.error();
    QVariantMap newValues = present(*values);
    // Only what the restore had to change is told as old.
    QVariantMap oldValues = differences(*values, inBin).second;
    if (restored != identity) {
        oldValues.insert(RegisterNames::identity, identity);
        newValues.insert(RegisterNames::identity, restored);
    }
    return write(db, Audit::restored, restored, oldValues, newValues);
}

Result<QList<Entry>> read(const QSqlDatabase& db, const QList<qint64>& identities)
{
    QVariantList bound;
    QStringList marks;
    for (const qint64 identity : identities) {
        bound << identity;
        marks << QStringLiteral("?");
    }
    const QString where = identities.isEmpty()
                              ? QString()
                              : QStringLiteral(" WHERE %1 IN (%2)")
                                    .arg(id(identityColumn), marks.join(QStringLiteral(", ")));
    Result<QSqlQuery> query =
        Sql::run(db,
                 QStringLiteral("SELECT %1, %2, %3, %4, %5, %6 FROM %7%8 ORDER BY %9 DESC")
                     .arg(id(timeColumn), id(userColumn), id(actionColumn), id(identityColumn),
                          id(oldColumn), id(newColumn), id(table), where, id(numberColumn)),
                 bound);
    if (!query)
        return query.error();
    QList<Entry> entries;
    while (query->next()) {
        entries.append({query->value(0).toString(), query->value(1).toString(),
                        query->value(2).toString(), query->value(3).toLongLong(),
                        decode(query->value(4).toString()), decode(query->value(5).toString())});
    }
    return entries;
}

} // namespace Audit
