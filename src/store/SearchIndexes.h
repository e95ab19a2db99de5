#pragma once

#include "store/Result.h"
#include "store/StepProgress.h"

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
inline const QString nameText = QStringLiteral("文件管理_文件名全文");
inline const QString remarkText = QStringLiteral("文件管理_备注全文");

// Whether every index, table and trigger is in place.
bool complete(const QSqlDatabase& db);

// Drops whatever part exists and builds all of it again from the records.
// Runs inside the caller's transaction; takes a while for a large register,
// and tells `progress` before each statement.
Status rebuild(QSqlDatabase& db, const StepProgress& progress = {});

// After the record table was rebuilt with the same rowids: creates its
// indexes and triggers again; the side tables stay valid as they are.
Status reattach(QSqlDatabase& db, const StepProgress& progress = {});

} // namespace SearchIndexes
