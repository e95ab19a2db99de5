#pragma once

#include "base/Result.h"
#include "base/StepProgress.h"
#include "store/view/ViewSql.h"

#include <QSqlDatabase>
#include <QString>

// The indexes and side tables that keep views and searches fast on large
// registers: ordered indexes on folder, recipient and method; a table of the
// distinct values of those three columns with their record counts (the folder
// menu and contains-searches on them read it instead of every record); and
// trigram full-text indexes of file names and remarks. Triggers keep all of
// them exact on every insert, update and delete, whoever makes the change.
namespace SearchIndexes {

inline const QString valueTable = QStringLiteral("文件管理_取值");
// Its columns: the record column a value is of, the value, how many records
// hold it and how many of those carry a send date.
inline const QString fieldColumn = QStringLiteral("栏目");
inline const QString valueColumn = QStringLiteral("值");
inline const QString countColumn = QStringLiteral("记录数");
inline const QString datedColumn = QStringLiteral("有日期数");
inline const QString nameText = QStringLiteral("文件管理_文件名全文");
inline const QString remarkText = QStringLiteral("文件管理_备注全文");
// Which records hold each one- and two-character piece of their file name or
// remark (ASCII case folded): answers the terms too short for a trigram.
inline const QString nameCharacters = QStringLiteral("文件管理_文件名字符");
inline const QString remarkCharacters = QStringLiteral("文件管理_备注字符");

// Records whose `column` (recipient, method or folder) is LIKE `like`
// (escaped with '\\'), found through the value table. When the pattern
// matches most records, the view is loaded as all records but the others;
// the value table's counts tell which way is cheaper.
ViewSql valuesLike(const QString& column, const QString& like);

// Records whose `column` (file name or remark) contains `term`, a term of one
// or two characters (whole code points, no NUL), exactly as LIKE matches it,
// found through the character index. Many matches are read as keys from the
// index and put in view order by one walk over all records. Empty for a
// column without a character index.
ViewSql charactersContain(const QString& column, const QString& term);

// Records whose `column` (file name or remark) contains `term`, three
// characters or more (whole code points, no NUL), exactly as `like` (the
// plain LIKE condition) matches it, found as a phrase of its trigrams in the
// full-text index. Where the index's wider case folding could find more,
// the phrase gives candidates that `like` confirms. Empty for a column
// without a full-text index.
ViewSql textContains(const QString& column, const QString& term, const ViewSql& like);

// Whether every index, table and trigger is in place.
bool complete(const QSqlDatabase& db);

// Drops whatever part exists and builds all of it again from the records.
// Runs inside the caller's transaction; takes a while for a large register,
// and tells `progress` before each statement.
Status rebuild(QSqlDatabase& db, const StepProgress& progress = {});

// The same for only those parts that are not whole (each part is built and
// dropped as one): a register made before a part existed gets just that part.
Status repair(QSqlDatabase& db, const StepProgress& progress = {});

// After the record table was rebuilt with the same rowids: creates its
// indexes and triggers again; the side tables stay valid as they are.
Status reattach(QSqlDatabase& db, const StepProgress& progress = {});

} // namespace SearchIndexes
