#pragma once

#include "store/ViewCondition.h"

// Views and searches on a register kept on a PostgreSQL server. Conditions
// are written for SQLite (ViewConditions); here they are told in the
// server's terms: the identity column for the rowid, LIKE with SQLite's
// meaning (ASCII letters alike in either case, nothing else folded), and,
// for the full-text and character indexes the server does not have, the
// condition's record-by-record form (its trigram indexes serve that LIKE).
namespace PgViewSql {

// The condition's record-by-record form and its values for the server; the
// other forms (exceptWhere, keysSql) are SQLite's speed-ups only.
ViewCondition translated(const ViewCondition& condition);

// `column` (quoted) with ASCII capitals made small, as SQLite's LIKE compares.
QString folded(const QString& column);

} // namespace PgViewSql
