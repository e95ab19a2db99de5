#include "browser/CombinedSearch.h"

#include "store/DateText.h"
#include "store/RegisterNames.h"
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

ViewCondition SqlMade(SearchCriteria& criteria)
{
    // A date box that does not hold a date is emptied silently.
    for (QString* date : {&criteria.earliest, &criteria.latest}) {
        if (!date->isEmpty() && !DateText::parse(*date))
            date->clear();
    }

    QStringList fragments;
    QVariantList values;
    auto add = [&](const ViewCondition& condition) {
        fragments << condition.where;
        values << condition.values;
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
    return {fragments.join(QStringLiteral(" AND ")), values};
}

} // namespace CombinedSearch
