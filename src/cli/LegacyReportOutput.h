#pragma once

#include "cli/Command.h"
#include "legacy/LegacyReport.h"

// Prints what a conversion or an import of an old register found and did.
// Exit status: done when nothing of the old register was left behind;
// failed when something was (it is listed) or the work itself failed.
inline int printLegacyReport(const Result<Legacy::Report>& report, CliContext& context)
{
    if (!report) {
        context.fail(report.error());
        return ExitFailed;
    }
    context.out << report->text();
    context.out.flush();
    return report->lostSomething() ? ExitFailed : ExitDone;
}
