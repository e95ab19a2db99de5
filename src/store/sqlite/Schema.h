#pragma once

#include "base/Result.h"
#include "base/StepProgress.h"

#include <QSqlDatabase>
#include <QString>

// What a file found at the database path turns out to be, and the one place
// where the database layout is created and brought up to date.
namespace Schema {

// Busy, Damaged and DiskFull say nothing about whose file it is: only a file
// that was read completely and lacks our tables is OtherSqlite.
enum class FileKind {
    Missing,
    Empty,
    QuorvelRegister,
    OtherSqlite,
    Access,
    Unknown,
    Unreadable,
    Busy,
    Damaged,
    DiskFull,
};

// Looks at the file's header (and tables, for SQLite) without changing it.
// Waits a while for another program that holds the file locked.
FileKind inspect(const QString& databasePath, QString* detail = nullptr);

// A sentence for the user that names the file and what was found, or why
// it could not be looked at.
QString describeForeign(const QString& databasePath, FileKind kind, const QString& detail);
// That sentence as an error, with the code that tells the kinds apart.
Error foreignError(const QString& databasePath, FileKind kind, const QString& detail);

// Creates missing tables, indexes and the nine query slots; upgrades older
// layouts. Runs in one transaction. `progress` hears of the steps of
// building the search indexes, the one part that takes long.
Status migrate(QSqlDatabase& db, const StepProgress& progress = {});

constexpr int applicationId = 0x51525632; // "QRV2"
constexpr int currentVersion = 9;

} // namespace Schema
