#pragma once

#include "base/Result.h"
#include "base/StepProgress.h"
#include "legacy/LegacyReport.h"

#include <QString>

#include <atomic>

// Turns an old Jet register folder into a Quorvel register in place.
//
// The new database is built under a working name beside the old one,
// checked, and flushed. The old file then gets a second name (a hard link,
// or a copy where links are not possible) that says what it is, and the new
// database is renamed over 文件管理.mdb in one step. So 文件管理.mdb is at
// every moment either the untouched old file or the complete new one, and a
// run after a crash starts again from the old file. The store folder is used
// as it is: copies are hashed, never copied or moved.
namespace LegacyConversion {

// The working name of the database being built, and the first choice of the
// name the old file is kept under.
inline const QString workingFile = QStringLiteral("文件管理.mdb.quorvel-convert");
inline const QString asideFile = QStringLiteral("文件管理.jet.mdb");

// Whether the register in `folder` is an old Jet register that can be converted.
bool needsConversion(const QString& folder);

// Converts (or with `dryRun` only reads and reports). A register already in
// Quorvel's format is left alone and reported as such. `progress` hears of
// the records written; `step` counts to `steps`.
Result<Legacy::Report> convert(const QString& folder, bool dryRun,
                               const StepProgress& progress = {});

} // namespace LegacyConversion
