#include "store/view/SqliteViewSql.h"

#include "store/RecordFields.h"
#include "store/content/ContentIndex.h"
#include "store/sql/Sql.h"
#include "store/sql/SqlRecordStore.h"
#include "store/view/SearchIndexes.h"
#include "store/view/ViewConditions.h"

#include <QList>

namespace SqliteViewSql {

namespace {

using Kind = ViewCondition::Kind;

QString columnOf(RecordField field)
{
    return Sql::identifier(SqlRecordStore::columnOf(field));
}

ViewSql contains(RecordField field, const QString& text)
{
    return {columnOf(field) + QStringLiteral(" LIKE ? ESCAPE '\\'"),
            {ViewConditions::likeLiteral(text)}};
}

ViewSql otherThan(RecordField field, const QStringList& leftOut)
{
    // "<>" drops NULL as well as the listed values. The view holds most
    // records, so it is loaded as all records but those left out.
    const QString column = columnOf(field);
    QStringList differs;
    QStringList marks;
    QVariantList values;
    for (const QString& value : leftOut) {
        differs << column + QStringLiteral(" <> ?");
        marks << QStringLiteral("?");
        values << value;
    }
    differs << column + QStringLiteral(" <> ''");
    marks << QStringLiteral("''");
    return {differs.join(QStringLiteral(" AND ")),
            values,
            {column + QStringLiteral(" IS NULL"),
             column + QStringLiteral(" IN (%1)").arg(marks.join(QStringLiteral(", ")))},
            values};
}

ViewSql indexedContains(RecordField field, const QString& text)
{
    const ViewSql plain = contains(field, text);
    if (RecordFields::of(field).counted) {
        // Few distinct values: match those, then read the records through the
        // column's index. The value table holds every non-NULL value, so the
        // result is the plain one.
        return SearchIndexes::valuesLike(SqlRecordStore::columnOf(field),
                                         ViewConditions::likeLiteral(text));
    }
    const QList<uint> codes = text.toUcs4();
    // The full-text query language ends a phrase at a NUL, so such a term
    // scans the records.
    if (text.isEmpty() || !text.isValidUtf16() || text.contains(QChar(0)))
        return plain;
    // One or two characters are a token of the character index, longer
    // terms a phrase of trigrams. Empty for a column without them.
    const QString column = SqlRecordStore::columnOf(field);
    ViewSql indexed = codes.size() < 3 ? SearchIndexes::charactersContain(column, text)
                                       : SearchIndexes::textContains(column, text, plain);
    if (indexed.isEmpty())
        return plain;
    indexed.scanWhere = plain.where;
    indexed.scanValues = plain.values;
    return indexed;
}

// Both sides: the record-by-record form, and the keys of a side that lists
// them with the other side tested on each record of the walk. A subquery of
// many keys under AND would be collected into a temporary table first.
ViewSql both(const ViewSql& first, const ViewSql& second)
{
    ViewSql both{QStringLiteral("(%1) AND (%2)").arg(first.where, second.where),
                 first.values + second.values};
    if (!first.scanWhere.isEmpty() || !second.scanWhere.isEmpty()) {
        both.scanWhere =
            QStringLiteral("(%1) AND (%2)").arg(first.whereForScan(), second.whereForScan());
        both.scanValues = first.valuesForScan() + second.valuesForScan();
    }
    const bool firstKeyed = !first.keysSql.isEmpty();
    const ViewSql& keyed = firstKeyed ? first : second;
    const ViewSql& other = firstKeyed ? second : first;
    if (keyed.keysSql.isEmpty())
        return both;
    both.keysSql = keyed.keysSql;
    both.keysValues = keyed.keysValues;
    both.keysWorthSql = keyed.keysWorthSql;
    both.keysWorthValues = keyed.keysWorthValues;
    both.keysAlso = keyed.keysAlso.isEmpty()
                        ? other.whereForScan()
                        : QStringLiteral("(%1) AND (%2)").arg(keyed.keysAlso, other.whereForScan());
    both.keysAlsoValues = keyed.keysAlsoValues + other.valuesForScan();
    return both;
}

} // namespace

ViewSql rendered(const ViewCondition& condition)
{
    const QString column = columnOf(condition.field);
    switch (condition.kind) {
    case Kind::Every:
        return {};
    case Kind::IdentityIs:
        return {QStringLiteral("rowid = ?"), {condition.number}};
    case Kind::FieldIs:
        // A plain equality, so an index on the column can serve it.
        return {column + QStringLiteral(" = ?"), {condition.text}};
    case Kind::FieldOtherThan:
        return otherThan(condition.field, condition.texts);
    case Kind::DateFrom:
        return {column + QStringLiteral(" >= ?"), {condition.text}};
    case Kind::DateBefore:
        return {column + QStringLiteral(" < ?"), {condition.text}};
    case Kind::Contains:
        return contains(condition.field, condition.text);
    case Kind::IndexedContains:
        return indexedContains(condition.field, condition.text);
    case Kind::ContentContains:
        return ContentIndex::contains(condition.text);
    case Kind::Both:
        return both(rendered(condition.sides.at(0)), rendered(condition.sides.at(1)));
    }
    return {};
}

} // namespace SqliteViewSql
