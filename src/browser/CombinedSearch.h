#pragma once

#include "browser/SearchCriteria.h"
#include "store/ViewCondition.h"

// Turns the seven search boxes into one view condition: every filled box
// adds its criterion, all joined by AND. Texts match literally ("%", "_" and
// quotes are ordinary characters); dates are compared as dates.
namespace CombinedSearch {

// How a text criterion is matched. Both select exactly the same records:
// Indexed reads the register's search indexes first (trigram text indexes
// for names and remarks of three characters or more, the distinct values of
// recipient, method and folder), Plain compares every record.
enum class Matching { Indexed, Plain };

// Empties a date box whose text is not a date, as the search panel does
// before it searches, then builds the condition.
ViewCondition SqlMade(SearchCriteria& criteria, Matching matching = Matching::Indexed);

} // namespace CombinedSearch
