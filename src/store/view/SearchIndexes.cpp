#include "store/view/SearchIndexes.h"

#include "store/RecordFields.h"
#include "store/RegisterNames.h"
#include "store/sql/Sql.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <algorithm>

namespace SearchIndexes {

namespace {

using Sql::identifier;

// From one record in this many matching on, marking the matches and walking
// all records in order is quicker than reading and sorting them one by one
// (measured: a walk costs about as much as sorting one in fifty).
constexpr int manyMatchesShare = 50;

struct Object {
    const char* type;
    QString name;
    // A text its definition holds: an object of an older layout, which
    // lacks it, counts as missing and is built again.
    QString holding = {};
};

// Positions make a phrase of the term's trigrams exact, where the index
// without them only offered candidates.
const QString textDetail = QStringLiteral("detail=full");

const QString insertTrigger = QStringLiteral("文件管理_索引_新增");
const QString deleteTrigger = QStringLiteral("文件管理_索引_删除");
const QString valuesTrigger = QStringLiteral("文件管理_取值_修改");
const QString nameTrigger = QStringLiteral("文件管理_文件名全文_修改");
const QString remarkTrigger = QStringLiteral("文件管理_备注全文_修改");

// The character indexes keep their own triggers, so a register made before
// them gets them without the rest being built again.
struct Characters {
    QString table;
    QString column;
    QString insertTrigger;
    QString deleteTrigger;
    QString updateTrigger;
};
const QList<Characters> characterIndexes = {
    {nameCharacters, RegisterNames::fileName, QStringLiteral("文件管理_文件名字符_新增"),
     QStringLiteral("文件管理_文件名字符_删除"), QStringLiteral("文件管理_文件名字符_修改")},
    {remarkCharacters, RegisterNames::remark, QStringLiteral("文件管理_备注字符_新增"),
     QStringLiteral("文件管理_备注字符_删除"), QStringLiteral("文件管理_备注字符_修改")},
};
// The one column of a character index.
const QString charactersColumn = QStringLiteral("字符");

// Each counted column (RecordFields::countedColumns) has an ordered index:
// the view key order follows, so a match needs no table read and no sort
// beyond the matched keys.

QString indexName(const QString& column)
{
    return RegisterNames::recordTable + QLatin1Char('_') + column;
}

QList<Object> valueAndTextObjects()
{
    QList<Object> list;
    for (const QString& column : RecordFields::countedColumns())
        list.append({"index", indexName(column)});
    list.append({"table", valueTable});
    list.append({"table", nameText, textDetail});
    list.append({"table", remarkText, textDetail});
    for (const QString& trigger :
         {insertTrigger, deleteTrigger, valuesTrigger, nameTrigger, remarkTrigger})
        list.append({"trigger", trigger});
    return list;
}

QList<Object> characterObjects()
{
    QList<Object> list;
    for (const Characters& index : characterIndexes)
        list.append({"table", index.table});
    for (const Characters& index : characterIndexes) {
        for (const QString& trigger :
             {index.insertTrigger, index.deleteTrigger, index.updateTrigger})
            list.append({"trigger", trigger});
    }
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
    for (const QString& column : RecordFields::countedColumns()) {
        sql << QStringLiteral("CREATE INDEX %1 ON %2 (%3, %4)")
                   .arg(identifier(indexName(column)), identifier(recordTable), identifier(column),
                        identifier(serial));
    }
    return sql;
}

// A full-text index filled at once is left in many pieces that it would go
// on merging a little at every later commit (six times the cost of adding a
// record at ten million); merged into one now, it stays cheap to add to.
QString optimized(const QString& table)
{
    return QStringLiteral("INSERT INTO %1 (%1) VALUES ('optimize')").arg(identifier(table));
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
    for (const QString& column : RecordFields::countedColumns()) {
        sql << QStringLiteral("INSERT INTO %1 SELECT %2, %3, count(*), count(%4) FROM %5 "
                              "WHERE %3 IS NOT NULL GROUP BY %3")
                   .arg(identifier(valueTable), text(column), identifier(column), identifier(date),
                        records);
    }
    // With positions a search asks for the term as a phrase of its trigrams,
    // which holds exactly the records that contain it (up to case folding),
    // so a count or a list of keys needs no record read. Sizes are not kept:
    // nothing ranks the matches.
    for (const auto& [table, column] :
         {std::pair{nameText, fileName}, std::pair{remarkText, remark}}) {
        sql << QStringLiteral("CREATE VIRTUAL TABLE %1 USING fts5(%2, content=%3, "
                              "content_rowid='rowid', tokenize='trigram', %4, columnsize=0)")
                   .arg(identifier(table), identifier(column), text(recordTable), textDetail);
        sql << QStringLiteral("INSERT INTO %1 (%1) VALUES ('rebuild')").arg(identifier(table));
        sql << optimized(table);
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
    for (const QString& column : RecordFields::countedColumns()) {
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

// The tokens of a character index for `value`: the hex of every one and
// every two characters of the lower-cased text starting at each position, so
// a term of one or two characters is one whole token. lower() folds ASCII
// only, as LIKE does, which makes a token match the exact answer (and keeps
// the characters where they were, so the value is lowered once). Triggers
// allow no CTE, so the positions come from a JSON array of the value's length.
QString tokensOf(const QString& value)
{
    return QStringLiteral("(SELECT group_concat(hex(substr(w.l, j.key + 1, 1)) || ' ' || "
                          "hex(substr(w.l, j.key + 1, 2)), ' ') FROM (SELECT lower(%1) AS l) AS "
                          "w, json_each('[' || replace(hex(zeroblob(length(w.l))), '00', '0,') || "
                          "'0]') AS j WHERE j.key < length(w.l))")
        .arg(value);
}

// Empty values get no row; removing a row passes the same tokens it was
// given, as a contentless index needs.
QString charactersIn(const Characters& index)
{
    const QString value = QStringLiteral("new.") + identifier(index.column);
    return QStringLiteral("INSERT INTO %1 (rowid, %2) SELECT new.rowid, %3 WHERE length(%4) > 0;")
        .arg(identifier(index.table), identifier(charactersColumn), tokensOf(value), value);
}

QString charactersOut(const Characters& index)
{
    const QString value = QStringLiteral("old.") + identifier(index.column);
    return QStringLiteral("INSERT INTO %1 (%1, rowid, %2) SELECT 'delete', old.rowid, %3 "
                          "WHERE length(%4) > 0;")
        .arg(identifier(index.table), identifier(charactersColumn), tokensOf(value), value);
}

QStringList characterTables()
{
    const QString records = identifier(RegisterNames::recordTable);
    QStringList sql;
    for (const Characters& index : characterIndexes) {
        // Contentless, without positions or sizes: only which records hold a token.
        sql << QStringLiteral("CREATE VIRTUAL TABLE %1 USING fts5(%2, content='', detail=none, "
                              "columnsize=0)")
                   .arg(identifier(index.table), identifier(charactersColumn));
        const QString column = identifier(index.column);
        sql << QStringLiteral("INSERT INTO %1 (rowid, %2) SELECT rowid, %3 FROM %4 "
                              "WHERE length(%5) > 0")
                   .arg(identifier(index.table), identifier(charactersColumn), tokensOf(column),
                        records, column);
        sql << optimized(index.table);
    }
    return sql;
}

QStringList characterTriggers()
{
    const QString records = identifier(RegisterNames::recordTable);
    QStringList sql;
    for (const Characters& index : characterIndexes) {
        sql << QStringLiteral("CREATE TRIGGER %1 AFTER INSERT ON %2 BEGIN %3 END")
                   .arg(identifier(index.insertTrigger), records, charactersIn(index));
        sql << QStringLiteral("CREATE TRIGGER %1 AFTER DELETE ON %2 BEGIN %3 END")
                   .arg(identifier(index.deleteTrigger), records, charactersOut(index));
        sql << QStringLiteral("CREATE TRIGGER %1 AFTER UPDATE OF %2 ON %3 BEGIN %4%5 END")
                   .arg(identifier(index.updateTrigger), identifier(index.column), records,
                        charactersOut(index), charactersIn(index));
    }
    return sql;
}

// A part of the indexes, built and dropped as one.
struct Part {
    QList<Object> objects;
    QStringList creation;
};

QList<Part> parts()
{
    return {{valueAndTextObjects(), columnIndexes() + sideTables() + triggers()},
            {characterObjects(), characterTables() + characterTriggers()}};
}

bool present(const QSqlDatabase& db, const QList<Object>& expected)
{
    QStringList marks;
    QVariantList names;
    for (const Object& object : expected) {
        marks << QStringLiteral("(type = ? AND name = ? AND instr(sql, coalesce(?, '')) > 0)");
        names << QString::fromLatin1(object.type) << object.name << object.holding;
    }
    Result<QVariant> found =
        Sql::scalar(db,
                    QStringLiteral("SELECT count(*) FROM sqlite_master WHERE ") +
                        marks.join(QStringLiteral(" OR ")),
                    names);
    return found && found->toInt() == expected.size();
}

// Drops whatever exists of `chosen` and builds it again from the records.
Status build(QSqlDatabase& db, const QList<Part>& chosen, const StepProgress& progress)
{
    QList<Object> all;
    QStringList building;
    for (const Part& part : chosen) {
        all += part.objects;
        building += part.creation;
    }
    // Dropping is quick: one step for all of it.
    const int steps = int(building.size()) + 1;
    if (progress)
        progress(0, steps);
    // Triggers first: they refer to the tables.
    for (const char* type : {"trigger", "table", "index"}) {
        for (const Object& object : all) {
            if (qstrcmp(object.type, type) != 0)
                continue;
            if (Status dropped = exec(
                    db, QStringLiteral("DROP %1 IF EXISTS %2")
                            .arg(QString::fromLatin1(type).toUpper(), identifier(object.name)));
                !dropped)
                return dropped;
        }
    }
    for (qsizetype i = 0; i < building.size(); ++i) {
        if (progress)
            progress(int(i) + 1, steps);
        if (Status done = exec(db, building.at(i)); !done)
            return done;
    }
    return {};
}

} // namespace

bool complete(const QSqlDatabase& db)
{
    for (const Part& part : parts()) {
        if (!present(db, part.objects))
            return false;
    }
    return true;
}

Status rebuild(QSqlDatabase& db, const StepProgress& progress)
{
    return build(db, parts(), progress);
}

Status repair(QSqlDatabase& db, const StepProgress& progress)
{
    QList<Part> missing;
    for (const Part& part : parts()) {
        if (!present(db, part.objects))
            missing.append(part);
    }
    if (missing.isEmpty())
        return {};
    return build(db, missing, progress);
}

Status reattach(QSqlDatabase& db, const StepProgress& progress)
{
    const QStringList building = columnIndexes() + triggers() + characterTriggers();
    for (qsizetype i = 0; i < building.size(); ++i) {
        if (progress)
            progress(int(i), int(building.size()));
        if (Status done = exec(db, building.at(i)); !done)
            return done;
    }
    return {};
}

ViewSql valuesLike(const QString& column, const QString& like)
{
    const QString values = Sql::identifier(valueTable);
    ViewSql condition;
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

namespace {

// Records whose rowids `matching` lists exactly, each once: read as keys,
// counted and marked from the index alone.
ViewSql keyed(const QString& matching, const QVariantList& values)
{
    ViewSql condition;
    condition.where = QStringLiteral("rowid IN (%1)").arg(matching);
    condition.values = values;
    condition.keysSql = matching;
    condition.keysValues = values;
    condition.countSql = QStringLiteral("SELECT count(*) FROM (%1)").arg(matching);
    condition.countValues = values;
    // The highest rowid stands for the number of records, read from the
    // table's b-tree without a scan.
    const QString records = QStringLiteral("coalesce((SELECT max(rowid) FROM %1), 0)")
                                .arg(identifier(RegisterNames::recordTable));
    condition.keysWorthSql = QStringLiteral("SELECT count(*) >= %2 / %3 FROM (%1 LIMIT %2 / %3)")
                                 .arg(matching, records)
                                 .arg(manyMatchesShare);
    condition.keysWorthValues = values;
    return condition;
}

// Whether the index's case folding finds what LIKE finds for this term. The
// index folds every cased letter, LIKE only ASCII ones; so no character of
// the term may have a case beyond ASCII, and none may be a letter that a
// non-ASCII one folds to (the Kelvin sign to k, the long s to s).
bool foldsAsLike(const QList<uint>& codes)
{
    for (const uint code : codes) {
        if (code < 0x80) {
            const char lower = char(QChar::toLower(code));
            if (lower == 'k' || lower == 's')
                return false;
        } else if (QChar::toLower(code) != code || QChar::toUpper(code) != code ||
                   QChar::toTitleCase(code) != code || QChar::toCaseFolded(code) != code) {
            return false;
        }
    }
    return true;
}

} // namespace

ViewSql textContains(const QString& column, const QString& term, const ViewSql& like)
{
    const QString* table = column == RegisterNames::fileName ? &nameText
                           : column == RegisterNames::remark ? &remarkText
                                                             : nullptr;
    if (!table)
        return {};
    // Quoted, so no character of the term is read as query syntax.
    QString phrase = term;
    phrase.replace(QLatin1Char('"'), QLatin1String("\"\""));
    phrase = QLatin1Char('"') + phrase + QLatin1Char('"');
    const QString matching =
        QStringLiteral("SELECT rowid FROM %1 WHERE %1 MATCH ?").arg(identifier(*table));
    if (foldsAsLike(term.toUcs4()))
        return keyed(matching, {phrase});
    // The index may offer more rows than LIKE matches here, never fewer.
    return {QStringLiteral("rowid IN (%1) AND %2").arg(matching, like.where),
            QVariantList{phrase} + like.values};
}

ViewSql charactersContain(const QString& column, const QString& term)
{
    const auto index =
        std::find_if(characterIndexes.begin(), characterIndexes.end(),
                     [&](const Characters& candidate) { return candidate.column == column; });
    if (index == characterIndexes.end())
        return {};
    // The token is made by the same SQL functions that made the index, and
    // quoted so the query language reads it as one term. The index holds one
    // row for each record, and triggers take it away with the record.
    return keyed(QStringLiteral("SELECT rowid FROM %1 WHERE %1 MATCH '\"' || hex(lower(?)) || '\"'")
                     .arg(identifier(index->table)),
                 {term});
}

} // namespace SearchIndexes
