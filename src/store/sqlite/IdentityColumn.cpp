#include "store/sqlite/IdentityColumn.h"

#include "store/RegisterNames.h"
#include "store/sql/Sql.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace IdentityColumn {

namespace {

struct Column {
    QString name;
    QString type;
    bool notNull = false;
    bool primaryKey = false;
};

Result<QList<Column>> columnsOf(const QSqlDatabase& db, const QString& table)
{
    Result<QSqlQuery> query =
        Sql::run(db, QStringLiteral("PRAGMA table_info(%1)").arg(Sql::identifier(table)));
    if (!query)
        return query.error();
    QList<Column> columns;
    while (query->next())
        columns.append({query->value(1).toString(), query->value(2).toString(),
                        query->value(3).toInt() != 0, query->value(5).toInt() != 0});
    return columns;
}

Status exec(QSqlDatabase& db, const QString& sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        return Sql::errorFrom(query.lastError(), sql);
    return {};
}

} // namespace

bool present(const QSqlDatabase& db)
{
    Result<QList<Column>> columns = columnsOf(db, RegisterNames::recordTable);
    if (!columns)
        return false;
    for (const Column& column : *columns) {
        if (column.name == RegisterNames::identity)
            return column.primaryKey;
    }
    return false;
}

Status add(QSqlDatabase& db, const StepProgress& progress)
{
    Result<QList<Column>> columns = columnsOf(db, RegisterNames::recordTable);
    if (!columns)
        return columns.error();
    if (columns->isEmpty())
        return Error{QStringLiteral("登记库中没有“%1”表。").arg(RegisterNames::recordTable),
                     QString()};

    // Declared types are kept as they are (a register made elsewhere may
    // declare a column differently); a primary key of the old table is not,
    // since the identity takes that place.
    QStringList definitions;
    QStringList names;
    for (const Column& column : *columns) {
        if (column.name == RegisterNames::identity)
            return Error{QStringLiteral("“%1”表已有一个名为“%2”的列，无法升级。")
                             .arg(RegisterNames::recordTable, RegisterNames::identity),
                         QString()};
        QString definition = Sql::identifier(column.name);
        if (!column.type.isEmpty())
            definition += QLatin1Char(' ') + column.type;
        if (column.notNull)
            definition += QStringLiteral(" NOT NULL");
        definitions << definition;
        names << Sql::identifier(column.name);
    }
    definitions << Sql::identifier(RegisterNames::identity) +
                       QStringLiteral(" INTEGER PRIMARY KEY AUTOINCREMENT");

    const QString records = Sql::identifier(RegisterNames::recordTable);
    const QString rebuilt = Sql::identifier(RegisterNames::recordTable + QStringLiteral("_重建"));
    const QString list = names.join(QStringLiteral(", "));
    const QStringList steps = {
        QStringLiteral("DROP TABLE IF EXISTS %1").arg(rebuilt),
        QStringLiteral("CREATE TABLE %1 (%2)").arg(rebuilt, definitions.join(QStringLiteral(", "))),
        // The rowid becomes the identity, so whatever keys on rowids (the
        // full-text indexes, the content hashes) stays valid.
        QStringLiteral("INSERT INTO %1 (%2, %3) SELECT %2, rowid FROM %4 ORDER BY rowid")
            .arg(rebuilt, list, Sql::identifier(RegisterNames::identity), records),
        QStringLiteral("DROP TABLE %1").arg(records),
        QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(rebuilt, records),
    };
    for (qsizetype i = 0; i < steps.size(); ++i) {
        if (progress)
            progress(int(i), int(steps.size()));
        if (Status done = exec(db, steps.at(i)); !done)
            return done;
    }
    return {};
}

} // namespace IdentityColumn
