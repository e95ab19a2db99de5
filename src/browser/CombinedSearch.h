#pragma once

#include "browser/SearchCriteria.h"
#include "store/ViewCondition.h"

// Turns the seven search boxes into one view condition: every filled box
// adds its criterion, all joined by AND. Texts match literally ("%", "_" and
// quotes are ordinary characters); dates are compared as dates.
namespace CombinedSearch {

// Empties a date box whose text is not a date, as the search panel does
// before it searches, then builds the condition.
ViewCondition SqlMade(SearchCriteria& criteria);

// A contains-match of `column` on `text`, for other views that match by
// containment.
ViewCondition contains(const QString& column, const QString& text);

// Escapes LIKE's wildcards so the text matches literally (escape char '\').
QString likeLiteral(const QString& text);

} // namespace CombinedSearch
