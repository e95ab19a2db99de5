#pragma once

#include "base/Result.h"
#include "store/RegisterNames.h"
#include "store/view/ViewCondition.h"

#include <QSqlDatabase>

// Views and searches on a register kept on a PostgreSQL server. Conditions
// are written for SQLite (ViewConditions); here they are told in the
// server's terms: the identity column for the rowid, LIKE with SQLite's
// meaning (ASCII letters alike in either case, nothing else folded), and,
// for the full-text and character indexes the server does not have, the
// condition's record-by-record form (indexes of the two-character pieces
// of names and remarks serve its contains-searches).
namespace PgViewSql {

// The condition's record-by-record form and its values for the server; the
// other forms (exceptWhere, keysSql) are SQLite's speed-ups only.
ViewCondition translated(const ViewCondition& condition);

// `told` (a condition in the server's terms) with the recipients, methods or
// folders it asks the value table for read now and listed in it: the
// records' index then serves each value with the server's estimate of how
// many records hold it, where for a subquery it guesses, and its plan, a
// scan of all records among them, varies from run to run.
Result<ViewCondition> withValuesListed(const QSqlDatabase& db, const ViewCondition& told);

// `column` (quoted) with ASCII capitals made small, as SQLite's LIKE
// compares: the form the piece indexes were made of.
QString folded(const QString& column);
// The same text, made several times faster by lower() under the "C"
// collation, which folds ASCII letters only whatever the server's locale:
// for comparing, where no index needs the exact expression.
QString lowered(const QString& column);

// The server's function giving the two-character pieces of a text.
inline const QString pieces = QStringLiteral("文件管理_字对");
// The record columns whose pieces are indexed.
inline const QStringList piecedColumns = {RegisterNames::fileName, RegisterNames::remark};

// The indexed expression: the pieces of `column` (quoted) as compared.
QString piecesOf(const QString& column);

} // namespace PgViewSql
