#pragma once

#include "store/view/ViewCondition.h"
#include "store/view/ViewSql.h"

// A view's condition in SQLite's words, with the faster forms the register's
// search indexes allow: contains-searches of recipient, method and folder
// read the table of their distinct values, those of names and remarks the
// trigram indexes for terms of three characters or more and the character
// indexes for shorter ones.
namespace SqliteViewSql {

ViewSql rendered(const ViewCondition& condition);

} // namespace SqliteViewSql
