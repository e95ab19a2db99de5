#include "store/PgViewSql.h"

#include "store/RegisterNames.h"
#include "store/SearchIndexes.h"
#include "store/Sql.h"
#include "store/ViewConditions.h"

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
    // One pass over the text; each "?" met is the next value, which a rule
    // may keep, change or drop together with its fragment.
    static const QRegularExpression pattern(
        QStringLiteral("rowid IN \\(SELECT rowid FROM \"([^\"]+)\" WHERE \"[^\"]+\" MATCH '\"' "
                       "\\|\\| hex\\(lower\\(\\?\\)\\) \\|\\| '\"'\\)" // 1: character index
                       "|rowid IN \\(SELECT rowid FROM \"[^\"]+\" WHERE \"[^\"]+\" MATCH "
                       "\\?\\) AND " // trigram index before its own LIKE
                       "|(\"[^\"]+\"|[^\\s(),]+) (NOT )?LIKE \\? ESCAPE '\\\\'" // 2, 3
                       "|\\browid\\b"
                       "|\\?"));
    ViewCondition result;
    qsizetype at = 0;
    qsizetype value = 0;
    const auto next = [&] {
        return condition.values.value(value++);
    };
    QRegularExpressionMatchIterator matches = pattern.globalMatch(condition.where);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        result.where += condition.where.mid(at, match.capturedStart() - at);
        at = match.capturedEnd();
        const QString whole = match.captured(0);
        if (!match.captured(1).isEmpty()) {
            const QString column = match.captured(1) == SearchIndexes::remarkCharacters
                                       ? RegisterNames::remark
                                       : RegisterNames::fileName;
            result.where += folded(Sql::identifier(column)) + QStringLiteral(" LIKE ") +
                            folded(QStringLiteral("?")) + QStringLiteral(" ESCAPE '\\'");
            result.values << ViewConditions::likeLiteral(next().toString());
        } else if (whole.startsWith(QLatin1String("rowid IN"))) {
            next(); // the full-text query: the LIKE after it decides alone
        } else if (!match.captured(2).isEmpty()) {
            result.where += folded(match.captured(2)) + QLatin1Char(' ') + match.captured(3) +
                            QStringLiteral("LIKE ") + folded(QStringLiteral("?")) +
                            QStringLiteral(" ESCAPE '\\'");
            result.values << next();
        } else if (whole == QLatin1String("rowid")) {
            result.where += Sql::identifier(RegisterNames::identity);
        } else {
            result.where += whole;
            result.values << next();
        }
    }
    result.where += condition.where.mid(at);
    return result;
}

} // namespace PgViewSql
