#pragma once

#include "base/Result.h"

#include <QSqlDatabase>
#include <QString>

// The layout of a register kept on a PostgreSQL server: the same tables and
// columns as the SQLite file, a version table, and migrations that each run
// in one transaction.
namespace PgSchema {

inline const QString versionTable = QStringLiteral("登记库版本");
inline const QString versionColumn = QStringLiteral("版本");

// The order of the saved-query rows (SQLite keeps it in the rowid).
inline const QString queryOrderColumn = QStringLiteral("记录号");

enum class State {
    Empty,    // no table at all: a register may be created here
    Register, // ours, at `version`
    Foreign,  // tables of someone else: never touched
};

Result<State> inspect(const QSqlDatabase& db, int* version = nullptr);

constexpr int currentVersion = 7;

// Creates the layout or brings it up to date (to `upTo`, for tests of an
// upgrade), one version per transaction. Two programs doing so at once take
// turns.
Status migrate(const QSqlDatabase& db, int upTo = currentVersion);

// Every commit that changes records, saved queries or the bin notifies the
// listeners of this channel, so open windows can show it.
inline const QString changeChannel = QStringLiteral("quorvel_changes");

} // namespace PgSchema
