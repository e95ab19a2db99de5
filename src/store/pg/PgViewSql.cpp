#include "store/pg/PgViewSql.h"

#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "store/view/SearchIndexes.h"

#include <QRegularExpression>
#include <QSqlQuery>

#include <optional>

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

// The text a LIKE pattern made by ViewConditions::likeLiteral looks for
// anywhere: "%" before and after, the rest literal. Nothing for another
// pattern.
std::optional<QString> containedText(const QVariant& value)
{
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    const QString pattern = value.toString();
    if (pattern.size() < 3 || !pattern.startsWith(QLatin1Char('%')) ||
        !pattern.endsWith(QLatin1Char('%')))
        return std::nullopt;
    QString text;
    for (qsizetype i = 1; i < pattern.size() - 1; ++i) {
        const QChar c = pattern.at(i);
        if (c == QLatin1Char('\\')) {
            if (++i == pattern.size() - 1)
                return std::nullopt;
            text += pattern.at(i);
        } else if (c == QLatin1Char('%') || c == QLatin1Char('_')) {
            return std::nullopt;
        } else {
            text += c;
        }
    }
    return text;
}

bool isPieced(const QString& quotedColumn)
{
    for (const QString& column : piecedColumns) {
        if (quotedColumn == Sql::identifier(column))
            return true;
    }
    return false;
}

} // namespace

ViewCondition translated(const ViewCondition& condition)
{
    // The record-by-record form holds no SQLite index; on the server a
    // contains-search of a name or remark also asks the index of their
    // pieces, and LIKE decides among what it offers. One pass over the text;
    // each "?" met is the next value.
    const QString where = condition.whereForScan();
    const QVariantList values = condition.valuesForScan();
    static const QRegularExpression pattern(
        QStringLiteral("(\"[^\"]+\"|[^\\s(),]+) (NOT )?LIKE \\? ESCAPE '\\\\'" // 1, 2
                       "|\\browid\\b"
                       "|\\?"));
    ViewCondition result;
    qsizetype at = 0;
    qsizetype value = 0;
    QRegularExpressionMatchIterator matches = pattern.globalMatch(where);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        result.where += where.mid(at, match.capturedStart() - at);
        at = match.capturedEnd();
        const QString whole = match.captured(0);
        if (!match.captured(1).isEmpty()) {
            const QString column = match.captured(1);
            const QString like = lowered(column) + QLatin1Char(' ') + match.captured(2) +
                                 QStringLiteral("LIKE ") + lowered(QStringLiteral("?")) +
                                 QStringLiteral(" ESCAPE '\\'");
            const QVariant likeValue = values.value(value++);
            const std::optional<QString> text = containedText(likeValue);
            result.values << likeValue;
            // A single character has no pieces to look up.
            if (match.captured(2).isEmpty() && isPieced(column) && text &&
                text->toUcs4().size() >= 2) {
                result.where += QStringLiteral("(%1 AND %2 @> %3)")
                                    .arg(like, piecesOf(column), piecesOf(QStringLiteral("?")));
                result.values << *text;
            } else {
                result.where += like;
            }
        } else if (whole == QLatin1String("rowid")) {
            result.where += Sql::identifier(RegisterNames::identity);
        } else {
            result.where += whole;
            result.values << values.value(value++);
        }
    }
    result.where += where.mid(at);
    return result;
}

Result<ViewCondition> withValuesListed(const QSqlDatabase& db, const ViewCondition& told)
{
    using namespace SearchIndexes;
    // The value table's subquery as translated() tells it.
    const QString values =
        QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ? AND %4 LIKE %5 ESCAPE '\\'")
            .arg(valueColumn, Sql::identifier(valueTable), fieldColumn, lowered(valueColumn),
                 lowered(QStringLiteral("?")));
    const QString asked = QStringLiteral("IN (") + values + QLatin1Char(')');
    ViewCondition listed;
    qsizetype value = 0;
    QChar quote;
    for (qsizetype at = 0; at < told.where.size(); ++at) {
        const QChar c = told.where.at(at);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else if (QStringView(told.where).mid(at).startsWith(asked)) {
            Result<QSqlQuery> found =
                Sql::run(db, values, {told.values.value(value), told.values.value(value + 1)});
            if (!found)
                return found.error();
            // An array in the server's text form, each element quoted.
            QStringList elements;
            while (found->next()) {
                QString element = found->value(0).toString();
                element.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
                    .replace(QLatin1Char('"'), QLatin1String("\\\""));
                elements << QLatin1Char('"') + element + QLatin1Char('"');
            }
            listed.where += QStringLiteral("= ANY(?::text[])");
            listed.values << QString(QLatin1Char('{') + elements.join(QLatin1Char(',')) +
                                     QLatin1Char('}'));
            value += 2;
            at += asked.size() - 1;
            continue;
        } else if (c == QLatin1Char('?')) {
            listed.values << told.values.value(value++);
        }
        listed.where += c;
    }
    return listed;
}

} // namespace PgViewSql
