#include "browser/CombinedSearch.h"

#include "store/DateText.h"
#include "store/RegisterNames.h"
#include "store/SearchIndexes.h"
#include "store/Sql.h"

#include <QStringList>

QString& SearchCriteria::box(int index)
{
    switch (index) {
    case FileName:
        return fileName;
    case Recipient:
        return recipient;
    case Method:
        return method;
    case Earliest:
        return earliest;
    case Latest:
        return latest;
    case Remark:
        return remark;
    default:
        return folder;
    }
}

const QString& SearchCriteria::box(int index) const
{
    return const_cast<SearchCriteria*>(this)->box(index);
}

bool SearchCriteria::isEmpty() const
{
    for (int i = 0; i < BoxCount; ++i) {
        if (!box(i).isEmpty())
            return false;
    }
    return true;
}

namespace CombinedSearch {

QString likeLiteral(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size() + 2);
    escaped += QLatin1Char('%');
    for (const QChar c : text) {
        if (c == QLatin1Char('%') || c == QLatin1Char('_') || c == QLatin1Char('\\'))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    escaped += QLatin1Char('%');
    return escaped;
}

ViewCondition contains(const QString& column, const QString& text)
{
    return {Sql::identifier(column) + QStringLiteral(" LIKE ? ESCAPE '\\'"), {likeLiteral(text)}};
}

namespace {

// The term's trigrams for a full-text query, every third one and the last:
// enough to narrow the candidates, which LIKE then confirms. Quoted, so no
// character of the term is read as query syntax.
QString trigramQuery(const QList<uint>& codes)
{
    QStringList terms;
    auto add = [&](qsizetype start) {
        QString trigram = QString::fromUcs4(reinterpret_cast<const char32_t*>(&codes[start]), 3);
        terms << QLatin1Char('"') + trigram.replace(QLatin1Char('"'), QLatin1String("\"\"")) +
                     QLatin1Char('"');
    };
    for (qsizetype start = 0; start + 3 <= codes.size(); start += 3)
        add(start);
    if (codes.size() % 3 != 0)
        add(codes.size() - 3);
    return terms.join(QStringLiteral(" AND "));
}

} // namespace

ViewCondition indexedContains(const QString& column, const QString& text)
{
    using namespace RegisterNames;
    const ViewCondition plain = contains(column, text);
    if (column == recipient || column == method || column == folder) {
        // Few distinct values: match those, then read the records through the
        // column's index. The value table holds every non-NULL value, so the
        // result is the plain one. When the term matches most records, the
        // view is loaded as all records but the others; the value table's
        // counts tell which way is cheaper.
        const QString values = Sql::identifier(SearchIndexes::valueTable);
        const QString like = likeLiteral(text);
        ViewCondition condition;
        condition.where =
            QStringLiteral("%1 IN (SELECT 值 FROM %2 WHERE 栏目 = ? AND 值 LIKE ? ESCAPE '\\')")
                .arg(Sql::identifier(column), values);
        condition.values = {column, like};
        condition.exceptWhere = {
            Sql::identifier(column) + QStringLiteral(" IS NULL"),
            QStringLiteral("%1 IN (SELECT 值 FROM %2 WHERE 栏目 = ? AND 值 NOT LIKE ? ESCAPE '\\')")
                .arg(Sql::identifier(column), values)};
        condition.exceptValues = {column, like};
        condition.exceptWorthSql =
            QStringLiteral("SELECT total(CASE WHEN 值 LIKE ? ESCAPE '\\' THEN 记录数 END) * 2 > "
                           "total(记录数) FROM %1 WHERE 栏目 = ?")
                .arg(values);
        condition.exceptWorthValues = {like, column};
        return condition;
    }
    const QString* table = column == fileName ? &SearchIndexes::nameText
                           : column == remark ? &SearchIndexes::remarkText
                                              : nullptr;
    const QList<uint> codes = text.toUcs4();
    // The trigram index finds nothing for shorter terms; they scan the records.
    // The full-text query language ends a phrase at a NUL, so such a term
    // scans too.
    if (!table || codes.size() < 3 || !text.isValidUtf16() || text.contains(QChar(0)))
        return plain;
    // The index folds case beyond ASCII, so it may offer more rows than LIKE
    // matches, never fewer; the record's own LIKE decides.
    return {QStringLiteral("rowid IN (SELECT rowid FROM %1 WHERE %1 MATCH ?) AND %2")
                .arg(Sql::identifier(*table), plain.where),
            QVariantList{trigramQuery(codes)} + plain.values};
}

ViewCondition SqlMade(SearchCriteria& criteria, Matching matching)
{
    // A date box that does not hold a date is emptied silently.
    for (QString* date : {&criteria.earliest, &criteria.latest}) {
        if (!date->isEmpty() && !DateText::parse(*date))
            date->clear();
    }

    QStringList fragments;
    QVariantList values;
    ViewCondition single;
    auto contains = matching == Matching::Indexed ? &CombinedSearch::indexedContains
                                                  : &CombinedSearch::contains;
    auto add = [&](const ViewCondition& condition) {
        fragments << condition.where;
        values << condition.values;
        single = condition;
    };
    using namespace RegisterNames;
    if (!criteria.fileName.isEmpty())
        add(contains(fileName, criteria.fileName));
    if (!criteria.recipient.isEmpty())
        add(contains(recipient, criteria.recipient));
    if (!criteria.method.isEmpty())
        add(contains(method, criteria.method));
    if (!criteria.earliest.isEmpty()) {
        add({Sql::identifier(date) + QStringLiteral(" >= ?"),
             {DateText::toStored(*DateText::parse(criteria.earliest))}});
    }
    if (!criteria.latest.isEmpty()) {
        // Before the next day, so the whole given day is included.
        add({Sql::identifier(date) + QStringLiteral(" < ?"),
             {DateText::toStored(DateText::parse(criteria.latest)->addDays(1))}});
    }
    if (!criteria.remark.isEmpty())
        add(contains(remark, criteria.remark));
    if (!criteria.folder.isEmpty())
        add(contains(folder, criteria.folder));
    // One box alone keeps whatever faster forms its condition has.
    if (fragments.size() == 1)
        return single;
    return {fragments.join(QStringLiteral(" AND ")), values};
}

} // namespace CombinedSearch
