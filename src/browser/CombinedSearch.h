#pragma once

#include "store/view/SearchCriteria.h"
#include "store/view/ViewCondition.h"

#include <QStringList>

// Turns the seven search boxes into one view condition: every filled box
// adds its criterion, all joined by AND. Texts match literally ("%", "_" and
// quotes are ordinary characters); dates are compared as dates.
namespace CombinedSearch {

// How a text criterion is matched. Both select exactly the same records:
// Indexed reads the register's search indexes first (trigram text indexes
// for names and remarks of three characters or more, the distinct values of
// recipient, method and folder), Plain compares every record.
enum class Matching { Indexed, Plain };

// A search as built from its boxes. A date box whose text is not a date is
// left out; each caller decides how to tell its user.
struct Made {
    ViewCondition condition;
    SearchCriteria used;      // the boxes searched: ignored dates emptied
    QStringList ignoredDates; // the texts left out, earliest box first
};

Made build(const SearchCriteria& criteria, Matching matching = Matching::Indexed);

// The date texts `build` would leave out, earliest box first.
QStringList ignoredDates(const SearchCriteria& criteria);

// `build`, writing what was searched back into `criteria`.
ViewCondition SqlMade(SearchCriteria& criteria, Matching matching = Matching::Indexed);

} // namespace CombinedSearch
