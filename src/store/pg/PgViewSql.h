#pragma once

#include "base/Result.h"
#include "store/RegisterNames.h"
#include "store/view/ViewCondition.h"
#include "store/view/ViewSql.h"

#include <QSqlDatabase>

// Views and searches on a register kept on a PostgreSQL server, worded from
// the same conditions as SQLite's: the identity column names a record, LIKE
// has SQLite's meaning (ASCII letters alike in either case, nothing else
// folded), and the records are tested one by one where SQLite has full-text
// and character indexes the server lacks (indexes of the two-character
// pieces of names and remarks serve their contains-searches).
namespace PgViewSql {

// How the values are marked in the text: "?" for Qt's driver, or "$1",
// "$2"… in their order for statements handed to libpq as they are (PgKeys).
enum class Marks { Question, Numbered };

// The condition record by record for the server; a contains-search of
// recipient, method or folder reads the value table in a subquery. Where a
// name or remark is looked up by its pieces, `scanWhere` tells the same
// records by LIKE alone, for reading in serial order.
ViewSql told(const ViewCondition& condition, Marks marks = Marks::Question);

// Whether `condition` picks records by recipient, method or folder through
// the value table: told(), the records come from that column's index one
// value after another.
bool picksByValue(const ViewCondition& condition);

// told() with the recipients, methods or folders it asks the value table
// for read now and listed in it: the records' index then serves each value
// with the server's estimate of how many records hold it, where for a
// subquery it guesses, and its plan, a scan of all records among them,
// varies from run to run.
Result<ViewSql> listed(const QSqlDatabase& db, const ViewCondition& condition,
                       Marks marks = Marks::Question);

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
