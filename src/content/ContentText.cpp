#include "content/ContentText.h"

#include "store/content/ContentIndex.h"
#include "store/sql/ContentHash.h"
#include "store/sql/Sql.h"

namespace ContentText {

namespace {

QString asciiFolded(const QString& text)
{
    QString folded = text;
    for (QChar& c : folded) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    }
    return folded;
}

// A cut never splits a character outside the basic plane.
qsizetype startOfCharacter(const QString& text, qsizetype at)
{
    return at > 0 && at < text.size() && text.at(at).isLowSurrogate() ? at - 1 : at;
}

QString flattened(QString text)
{
    for (QChar& c : text) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t'))
            c = QLatin1Char(' ');
    }
    return text;
}

} // namespace

Result<std::optional<QString>> ofRecord(const Register& reg, qint64 identity)
{
    using namespace ContentIndex;
    using Sql::identifier;
    Result<QSqlQuery> row =
        Sql::run(reg.database(),
                 QStringLiteral(
                     "SELECT c.%1 FROM %2 h JOIN %3 c ON c.%4 = h.%5 WHERE h.%6 = ? AND c.%7 = %8")
                     .arg(identifier(textColumn), identifier(ContentHash::table), identifier(table),
                          identifier(hashColumn), identifier(ContentHash::hashColumn),
                          identifier(ContentHash::recordColumn), identifier(stateColumn))
                     .arg(int(State::Read)),
                 {identity});
    if (!row)
        return row.error();
    if (!row->next())
        return std::optional<QString>();
    return std::optional<QString>(row->value(0).toString());
}

std::optional<Snippet> snippet(const QString& text, const QString& term, int around)
{
    if (term.isEmpty())
        return std::nullopt;
    const qsizetype at = asciiFolded(text).indexOf(asciiFolded(term));
    if (at < 0)
        return std::nullopt;
    const qsizetype end = at + term.size();
    const qsizetype from = startOfCharacter(text, std::max<qsizetype>(0, at - around));
    const qsizetype to = startOfCharacter(text, std::min<qsizetype>(text.size(), end + around));
    const QString ellipsis = QStringLiteral("…");
    return Snippet{(from > 0 ? ellipsis : QString()) + flattened(text.mid(from, at - from)),
                   flattened(text.mid(at, term.size())),
                   flattened(text.mid(end, to - end)) + (to < text.size() ? ellipsis : QString())};
}

} // namespace ContentText
