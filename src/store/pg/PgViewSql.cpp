#include "store/pg/PgViewSql.h"

#include "store/RecordFields.h"
#include "store/content/ContentIndex.h"
#include "store/sql/ContentHash.h"
#include "store/sql/Sql.h"
#include "store/sql/SqlRecordStore.h"
#include "store/view/SearchIndexes.h"
#include "store/view/ViewConditions.h"

#include <QSqlQuery>

namespace PgViewSql {

QString folded(const QString& column)
{
    return QStringLiteral("translate(%1, 'ABCDEFGHIJKLMNOPQRSTUVWXYZ', "
                          "'abcdefghijklmnopqrstuvwxyz')")
        .arg(column);
}

QString lowered(const QString& column)
{
    return QStringLiteral("lower(%1 COLLATE \"C\")").arg(column);
}

QString piecesOf(const QString& column)
{
    return Sql::identifier(pieces) + QLatin1Char('(') + folded(column) + QLatin1Char(')');
}

namespace {

using Kind = ViewCondition::Kind;

// Marks the next value, in the order the values are listed.
class Marker {
public:
    explicit Marker(Marks marks) : m_marks(marks) {}
    QString operator()()
    {
        return m_marks == Marks::Question ? QStringLiteral("?")
                                          : QLatin1Char('$') + QString::number(m_next++);
    }

private:
    Marks m_marks;
    int m_next = 1;
};

QString columnOf(RecordField field)
{
    return Sql::identifier(SqlRecordStore::columnOf(field));
}

// Recipient, method and folder: their values are in the value table.
bool byValue(RecordField field)
{
    return RecordFields::of(field).counted;
}

// LIKE with SQLite's meaning, `pattern` escaped with '\'.
QString likeOf(const QString& column, const QString& pattern)
{
    return lowered(column) + QStringLiteral(" LIKE ") + lowered(pattern) +
           QStringLiteral(" ESCAPE '\\'");
}

// Whether a condition is told for the indexes or for testing each record
// alone: the pieces of a text cost a function call a record, where LIKE
// alone is several times cheaper, and an index the planner cannot use
// leaves it the walk in serial order.
enum class Form { Indexed, Scan };

ViewSql contains(RecordField field, const QString& text, Marker& mark, Form form)
{
    const QString column = columnOf(field);
    const qsizetype length = text.toUcs4().size();
    // A name or remark is looked up in the index of its pieces. A term of
    // two characters is one piece, which the index answers exactly, so the
    // server can count without reading the rows; longer terms are narrowed
    // by their pieces and LIKE decides. A single character has no pieces.
    const bool pieced =
        form == Form::Indexed && PgViewSql::piecedColumns.contains(SqlRecordStore::columnOf(field));
    if (pieced && length == 2)
        return {QStringLiteral("%1 @> %2").arg(piecesOf(column), piecesOf(mark())), {text}};
    const QString like = likeOf(column, mark());
    const QString likeValue = ViewConditions::likeLiteral(text);
    if (pieced && length > 2) {
        return {QStringLiteral("(%1 AND %2 @> %3)").arg(like, piecesOf(column), piecesOf(mark())),
                {likeValue, text}};
    }
    return {like, {likeValue}};
}

// The records whose copy's text contains `text`: the index of the texts'
// pieces narrows them, and for a term of three characters or more the text
// itself decides (pieces alone answer shorter ones exactly).
ViewSql contentContains(const QString& text, Marker& mark)
{
    using namespace ContentIndex;
    const QString contents = Sql::identifier(table);
    const QString pieces = Sql::identifier(serverPieces);
    QString matching = QStringLiteral("%1(%2) @> %1(%3)")
                           .arg(pieces, folded(Sql::identifier(textColumn)), folded(mark()));
    QVariantList values{text};
    if (text.toUcs4().size() > 2) {
        matching += QStringLiteral(" AND strpos(%1, %2) > 0")
                        .arg(folded(Sql::identifier(textColumn)), folded(mark()));
        values << text;
    }
    return {QStringLiteral("%1 IN (SELECT h.%2 FROM %3 h JOIN %4 c ON c.%5 = h.%6 WHERE %7)")
                .arg(Sql::identifier(RegisterNames::identity),
                     Sql::identifier(ContentHash::recordColumn),
                     Sql::identifier(ContentHash::table), contents, Sql::identifier(hashColumn),
                     Sql::identifier(ContentHash::hashColumn), matching),
            values};
}

// The values of `field` in the value table that contain `text`: its values
// are the field's column and the LIKE pattern.
QString valuesContaining(Marker& mark)
{
    using namespace SearchIndexes;
    const QString field = mark();
    return QStringLiteral("SELECT %1 FROM %2 WHERE %3 = %4 AND %5")
        .arg(valueColumn, Sql::identifier(valueTable), fieldColumn, field,
             likeOf(valueColumn, mark()));
}

// An array in the server's text form, each element quoted.
Result<QString> arrayOfValues(const QSqlDatabase& db, RecordField field, const QString& text)
{
    Marker mark(Marks::Question);
    Result<QSqlQuery> found =
        Sql::run(db, valuesContaining(mark),
                 {SqlRecordStore::columnOf(field), ViewConditions::likeLiteral(text)});
    if (!found)
        return found.error();
    QStringList elements;
    while (found->next()) {
        QString element = found->value(0).toString();
        element.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
            .replace(QLatin1Char('"'), QLatin1String("\\\""));
        elements << QLatin1Char('"') + element + QLatin1Char('"');
    }
    return QString(QLatin1Char('{') + elements.join(QLatin1Char(',')) + QLatin1Char('}'));
}

// The condition in the server's words; with `listFrom`, the values a
// contains-search of recipient, method or folder asks for are read from it.
Result<ViewSql> worded(const ViewCondition& condition, const QSqlDatabase* listFrom, Marker& mark,
                       Form form = Form::Indexed)
{
    const QString column = columnOf(condition.field);
    switch (condition.kind) {
    case Kind::Every:
        return ViewSql{};
    case Kind::IdentityIs:
        return ViewSql{Sql::identifier(RegisterNames::identity) + QStringLiteral(" = ") + mark(),
                       {condition.number}};
    case Kind::FieldIs:
        return ViewSql{column + QStringLiteral(" = ") + mark(), {condition.text}};
    case Kind::FieldOtherThan: {
        // "<>" drops NULL as well as the listed values.
        QStringList differs;
        QVariantList values;
        for (const QString& value : condition.texts) {
            differs << column + QStringLiteral(" <> ") + mark();
            values << value;
        }
        differs << column + QStringLiteral(" <> ''");
        return ViewSql{differs.join(QStringLiteral(" AND ")), values};
    }
    case Kind::DateFrom:
        return ViewSql{column + QStringLiteral(" >= ") + mark(), {condition.text}};
    case Kind::DateBefore:
        return ViewSql{column + QStringLiteral(" < ") + mark(), {condition.text}};
    case Kind::Contains:
        return contains(condition.field, condition.text, mark, form);
    case Kind::IndexedContains:
        if (!byValue(condition.field))
            return contains(condition.field, condition.text, mark, form);
        if (listFrom) {
            Result<QString> array = arrayOfValues(*listFrom, condition.field, condition.text);
            if (!array)
                return array.error();
            return ViewSql{column + QStringLiteral(" = ANY(%1::text[])").arg(mark()), {*array}};
        }
        return ViewSql{column + QStringLiteral(" IN (") + valuesContaining(mark) + QLatin1Char(')'),
                       {SqlRecordStore::columnOf(condition.field),
                        ViewConditions::likeLiteral(condition.text)}};
    case Kind::ContentContains:
        return contentContains(condition.text, mark);
    case Kind::Both: {
        Result<ViewSql> first = worded(condition.sides.at(0), listFrom, mark, form);
        if (!first)
            return first;
        Result<ViewSql> second = worded(condition.sides.at(1), listFrom, mark, form);
        if (!second)
            return second;
        return ViewSql{QStringLiteral("(%1) AND (%2)").arg(first->where, second->where),
                       first->values + second->values};
    }
    }
    return ViewSql{};
}

} // namespace

ViewSql told(const ViewCondition& condition, Marks marks)
{
    // Without a database to read, nothing can fail.
    Marker mark(marks);
    ViewSql sql = worded(condition, nullptr, mark).value();
    Marker scanMark(marks);
    const ViewSql scan = worded(condition, nullptr, scanMark, Form::Scan).value();
    if (scan.where != sql.where) {
        sql.scanWhere = scan.where;
        sql.scanValues = scan.values;
    }
    return sql;
}

bool picksByValue(const ViewCondition& condition)
{
    if (condition.kind == Kind::Both)
        return picksByValue(condition.sides.at(0)) || picksByValue(condition.sides.at(1));
    return condition.kind == Kind::IndexedContains && byValue(condition.field);
}

Result<ViewSql> listed(const QSqlDatabase& db, const ViewCondition& condition, Marks marks)
{
    Marker mark(marks);
    return worded(condition, &db, mark);
}

} // namespace PgViewSql
