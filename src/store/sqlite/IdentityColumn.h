#pragma once

#include "base/Result.h"
#include "base/StepProgress.h"

#include <QSqlDatabase>

// Gives the record table an identity column that is never reused. Without an
// INTEGER PRIMARY KEY AUTOINCREMENT, SQLite hands the rowid of a deleted last
// record to the next one (and VACUUM may renumber rows), so a window or a
// question that holds a rowid could act on another record.
namespace IdentityColumn {

// Whether the record table already has its identity column.
bool present(const QSqlDatabase& db);

// Rebuilds the record table with the identity column appended, each record
// keeping its rowid as its identity and every other column its name,
// declared type and place. Indexes and triggers of the table go with the old
// table; the caller creates them again. Runs inside the caller's transaction.
Status add(QSqlDatabase& db, const StepProgress& progress = {});

} // namespace IdentityColumn
