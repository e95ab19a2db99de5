#include "store/SearchIndexes.h"

#include "store/RegisterNames.h"
#include "store/Sql.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace SearchIndexes {

namespace {

using Sql::identifier;

struct Object {
    const char* type;
    QString name;
};

const QString insertTrigger = QStringLiteral("文件管理_索引_新增");
const QString deleteTrigger = QStringLiteral("文件管理_索引_删除");
const QString valuesTrigger = QStringLiteral("文件管理_取值_修改");
const QString nameTrigger = QStringLiteral("文件管理_文件名全文_修改");
const QString remarkTrigger = QStringLiteral("文件管理_备注全文_修改");

// Columns whose distinct values are counted, and the ordered index of each:
// the view key order follows, so a match needs no table read and no sort
// beyond the matched keys.
const QStringList countedColumns = {RegisterNames::recipient, RegisterNames::method,
                                    RegisterNames::folder};

QString indexName(const QString& column)
{
    return RegisterNames::recordTable + QLatin1Char('_') + column;
}

QList<Object> objects()
{
    QList<Object> list;
    for (const QString& column : countedColumns)
        list.append({"index", indexName(column)});
    list.append({"table", valueTable});
    list.append({"table", nameText});
    list.append({"table", remarkText});
    for (const QString& trigger :
         {insertTrigger, deleteTrigger, valuesTrigger, nameTrigger, remarkTrigger})
        list.append({"trigger", trigger});
    return list;
}

Status exec(QSqlDatabase& db, const QString& sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        return Sql::errorFrom(query.lastError(), sql);
    return {};
}

QString text(const QString& value)
{
    return QLatin1Char('\'') + value + QLatin1Char('\'');
}

// One record more under new.<column>.
QString countIn(const QString& column)
{
    return QStringLiteral("INSERT INTO %1 (栏目, 值, 记录数, 有日期数) "
                          "SELECT %2, new.%3, 1, new.%4 IS NOT NULL WHERE new.%3 IS NOT NULL "
                          "ON CONFLICT (栏目, 值) DO UPDATE SET 记录数 = 记录数 + 1, "
                          "有日期数 = 有日期数 + excluded.有日期数;")
        .arg(identifier(valueTable), text(column), identifier(column),
             identifier(RegisterNames::date));
}

// One record less under old.<column>; a value no record holds any more goes.
QString countOut(const QString& column)
{
    return QStringLiteral("UPDATE %1 SET 记录数 = 记录数 - 1, 有日期数 = 有日期数 - (old.%4 IS NOT "
                          "NULL) WHERE 栏目 = %2 AND 值 = old.%3; "
                          "DELETE FROM %1 WHERE 栏目 = %2 AND 值 = old.%3 AND 记录数 <= 0;")
        .arg(identifier(valueTable), text(column), identifier(column),
             identifier(RegisterNames::date));
}

QString textIn(const QString& table, const QString& column)
{
    return QStringLiteral("INSERT INTO %1 (rowid, %2) VALUES (new.rowid, new.%2);")
        .arg(identifier(table), identifier(column));
}

QString textOut(const QString& table, const QString& column)
{
    return QStringLiteral("INSERT INTO %1 (%1, rowid, %2) VALUES ('delete', old.rowid, old.%2);")
        .arg(identifier(table), identifier(column));
}

// The ordered indexes of the counted columns.
QStringList columnIndexes()
{
    using namespace RegisterNames;
    QStringList sql;
    for (const QString& column : countedColumns) {
        sql << QStringLiteral("CREATE INDEX %1 ON %2 (%3, %4)")
                   .arg(identifier(indexName(column)), identifier(recordTable), identifier(column),
                        identifier(serial));
    }
    return sql;
}

// The value-count table and the full-text indexes, built from the records.
QStringList sideTables()
{
    using namespace RegisterNames;
    const QString records = identifier(recordTable);
    QStringList sql;
    sql << QStringLiteral("CREATE TABLE %1 (栏目 TEXT NOT NULL, 值 TEXT NOT NULL, "
                          "记录数 INTEGER NOT NULL, 有日期数 INTEGER NOT NULL, "
                          "PRIMARY KEY (栏目, 值)) WITHOUT ROWID")
               .arg(identifier(valueTable));
    for (const QString& column : countedColumns) {
        sql << QStringLiteral("INSERT INTO %1 SELECT %2, %3, count(*), count(%4) FROM %5 "
                              "WHERE %3 IS NOT NULL GROUP BY %3")
                   .arg(identifier(valueTable), text(column), identifier(column), identifier(date),
                        records);
    }
    // detail=none keeps the index small (positions are not stored); a search
    // asks for each trigram of the term and the record's own LIKE confirms.
    for (const auto& [table, column] :
         {std::pair{nameText, fileName}, std::pair{remarkText, remark}}) {
        sql << QStringLiteral("CREATE VIRTUAL TABLE %1 USING fts5(%2, content=%3, "
                              "content_rowid='rowid', tokenize='trigram', detail=none)")
                   .arg(identifier(table), identifier(column), text(recordTable));
        sql << QStringLiteral("INSERT INTO %1 (%1) VALUES ('rebuild')").arg(identifier(table));
    }
    return sql;
}

// The triggers that keep the side tables exact.
QStringList triggers()
{
    using namespace RegisterNames;
    const QString records = identifier(recordTable);
    QStringList sql;
    QString in, out, valuesIn, valuesOut;
    for (const QString& column : countedColumns) {
        valuesIn += countIn(column);
        valuesOut += countOut(column);
    }
    in = textIn(nameText, fileName) + textIn(remarkText, remark) + valuesIn;
    out = textOut(nameText, fileName) + textOut(remarkText, remark) + valuesOut;
    sql << QStringLiteral("CREATE TRIGGER %1 AFTER INSERT ON %2 BEGIN %3 END")
               .arg(identifier(insertTrigger), records, in);
    sql << QStringLiteral("CREATE TRIGGER %1 AFTER DELETE ON %2 BEGIN %3 END")
               .arg(identifier(deleteTrigger), records, out);
    sql << QStringLiteral("CREATE TRIGGER %1 AFTER UPDATE OF %2, %3, %4, %5 ON %6 BEGIN %7%8 END")
               .arg(identifier(valuesTrigger), identifier(date), identifier(recipient),
                    identifier(method), identifier(folder), records, valuesOut, valuesIn);
    sql << QStringLiteral("CREATE TRIGGER %1 AFTER UPDATE OF %2 ON %3 BEGIN %4%5 END")
               .arg(identifier(nameTrigger), identifier(fileName), records,
                    textOut(nameText, fileName), textIn(nameText, fileName));
    sql << QStringLiteral("CREATE TRIGGER %1 AFTER UPDATE OF %2 ON %3 BEGIN %4%5 END")
               .arg(identifier(remarkTrigger), identifier(remark), records,
                    textOut(remarkText, remark), textIn(remarkText, remark));
    return sql;
}

QStringList creation()
{
    return columnIndexes() + sideTables() + triggers();
}

} // namespace

bool complete(const QSqlDatabase& db)
{
    const QList<Object> expected = objects();
    QStringList marks;
    QVariantList names;
    for (const Object& object : expected) {
        marks << QStringLiteral("(type = ? AND name = ?)");
        names << QString::fromLatin1(object.type) << object.name;
    }
    Result<QVariant> found =
        Sql::scalar(db,
                    QStringLiteral("SELECT count(*) FROM sqlite_master WHERE ") +
                        marks.join(QStringLiteral(" OR ")),
                    names);
    return found && found->toInt() == expected.size();
}

Status rebuild(QSqlDatabase& db, const StepProgress& progress)
{
    const QList<Object> all = objects();
    const QStringList building = creation();
    // Dropping is quick: one step for all of it.
    const int steps = int(building.size()) + 1;
    if (progress)
        progress(0, steps);
    // Triggers first: they refer to the tables.
    for (qsizetype i = all.size() - 1; i >= 0; --i) {
        const QString type = QString::fromLatin1(all.at(i).type).toUpper();
        if (Status dropped = exec(
                db, QStringLiteral("DROP %1 IF EXISTS %2").arg(type, identifier(all.at(i).name)));
            !dropped)
            return dropped;
    }
    for (qsizetype i = 0; i < building.size(); ++i) {
        if (progress)
            progress(int(i) + 1, steps);
        if (Status done = exec(db, building.at(i)); !done)
            return done;
    }
    return {};
}

Status reattach(QSqlDatabase& db, const StepProgress& progress)
{
    const QStringList building = columnIndexes() + triggers();
    for (qsizetype i = 0; i < building.size(); ++i) {
        if (progress)
            progress(int(i), int(building.size()));
        if (Status done = exec(db, building.at(i)); !done)
            return done;
    }
    return {};
}

ViewCondition valuesLike(const QString& column, const QString& like)
{
    const QString values = Sql::identifier(valueTable);
    ViewCondition condition;
    condition.where =
        QStringLiteral("%1 IN (SELECT %3 FROM %2 WHERE %4 = ? AND %3 LIKE ? ESCAPE '\\')")
            .arg(Sql::identifier(column), values, valueColumn, fieldColumn);
    condition.values = {column, like};
    condition.exceptWhere = {
        Sql::identifier(column) + QStringLiteral(" IS NULL"),
        QStringLiteral("%1 IN (SELECT %3 FROM %2 WHERE %4 = ? AND %3 NOT LIKE ? ESCAPE '\\')")
            .arg(Sql::identifier(column), values, valueColumn, fieldColumn)};
    condition.exceptValues = {column, like};
    condition.exceptWorthSql =
        QStringLiteral("SELECT total(CASE WHEN %2 LIKE ? ESCAPE '\\' THEN %4 END) * 2 > "
                       "total(%4) FROM %1 WHERE %3 = ?")
            .arg(values, valueColumn, fieldColumn, countColumn);
    condition.exceptWorthValues = {like, column};
    return condition;
}

} // namespace SearchIndexes
