#pragma once

#include "base/StepProgress.h"
#include "legacy/LegacyReport.h"

#include <functional>

class QWidget;

// Runs conversion or import work off the window's thread behind a progress
// window that counts the records, so the window never freezes without word.
using LegacyWork = std::function<Result<Legacy::Report>(const StepProgress&)>;
Result<Legacy::Report> runWithProgress(QWidget* parent, const QString& label,
                                       const LegacyWork& work);

// The report, as a warning when something did not come over.
void showReport(QWidget* parent, const Legacy::Report& report);
