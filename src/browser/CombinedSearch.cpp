#include "browser/CombinedSearch.h"

#include "base/DateText.h"
#include "store/view/ViewConditions.h"

#include <QStringList>

namespace CombinedSearch {

QStringList ignoredDates(const SearchCriteria& criteria)
{
    QStringList ignored;
    for (const QString& date : {criteria.earliest, criteria.latest}) {
        if (!date.isEmpty() && !DateText::parse(date))
            ignored << date;
    }
    return ignored;
}

ViewCondition SqlMade(SearchCriteria& criteria, Matching matching)
{
    Made made = build(criteria, matching);
    criteria = std::move(made.used);
    return made.condition;
}

Made build(const SearchCriteria& typed, Matching matching)
{
    Made made{{}, typed, ignoredDates(typed)};
    SearchCriteria& criteria = made.used;
    for (QString* date : {&criteria.earliest, &criteria.latest}) {
        if (!date->isEmpty() && !DateText::parse(*date))
            date->clear();
    }

    auto contains = matching == Matching::Indexed ? &ViewConditions::indexedContains
                                                  : &ViewConditions::contains;
    // One box alone keeps whatever faster forms its condition has.
    auto add = [&](const ViewCondition& condition) {
        made.condition = ViewConditions::allOf(made.condition, condition);
    };
    if (!criteria.fileName.isEmpty())
        add(contains(RecordField::FileName, criteria.fileName));
    if (!criteria.recipient.isEmpty())
        add(contains(RecordField::Recipient, criteria.recipient));
    if (!criteria.method.isEmpty())
        add(contains(RecordField::Method, criteria.method));
    if (!criteria.earliest.isEmpty()) {
        add(ViewConditions::dateFrom(*DateText::parse(criteria.earliest)));
    }
    if (!criteria.latest.isEmpty()) {
        // Before the next day, so the whole given day is included.
        add(ViewConditions::dateBefore(DateText::parse(criteria.latest)->addDays(1)));
    }
    if (!criteria.remark.isEmpty())
        add(contains(RecordField::Remark, criteria.remark));
    if (!criteria.folder.isEmpty())
        add(contains(RecordField::Folder, criteria.folder));
    if (!criteria.content.isEmpty())
        add(ViewConditions::contentContains(criteria.content));
    return made;
}

} // namespace CombinedSearch
