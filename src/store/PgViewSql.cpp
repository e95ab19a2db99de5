#include "store/PgViewSql.h"

#include "store/RegisterNames.h"
#include "store/Sql.h"

#include <QRegularExpression>

namespace PgViewSql {

QString folded(const QString& column)
{
    return QStringLiteral("translate(%1, 'ABCDEFGHIJKLMNOPQRSTUVWXYZ', "
                          "'abcdefghijklmnopqrstuvwxyz')")
        .arg(column);
}

ViewCondition translated(const ViewCondition& condition)
{
    // The record-by-record form holds no SQLite index; on the server the
    // trigram indexes on the folded texts serve its LIKE. One pass over the
    // text; each "?" met is the next value.
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
            result.where += folded(match.captured(1)) + QLatin1Char(' ') + match.captured(2) +
                            QStringLiteral("LIKE ") + folded(QStringLiteral("?")) +
                            QStringLiteral(" ESCAPE '\\'");
            result.values << values.value(value++);
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

} // namespace PgViewSql
