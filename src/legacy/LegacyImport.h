#pragma once

#include "base/StepProgress.h"
#include "intake/Intake.h"
#include "legacy/LegacyReport.h"
#include "store/Register.h"

#include <atomic>

// Adds the records of an old Jet register folder to an open register,
// through intake: each copy is copied in under the naming rule and hashed,
// its record gets the next serial, and a crash leaves only what the check
// clears. Records keep their own date, remark, recipient, method and folder.
// Queries are not imported; the old folder is only read.
namespace LegacyImport {

Result<Legacy::Report> run(const Register& reg, const QString& legacyFolder,
                           const StepProgress& progress = {},
                           const std::atomic_bool* cancel = nullptr);

} // namespace LegacyImport
