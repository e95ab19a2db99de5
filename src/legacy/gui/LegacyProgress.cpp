#include "legacy/gui/LegacyProgress.h"

#include "support/gui/MessageBox.h"
#include "support/gui/WorkProgress.h"

#include <optional>

Result<Legacy::Report> runWithProgress(QWidget* parent, const QString& label,
                                       const LegacyWork& work)
{
    std::optional<Result<Legacy::Report>> report;
    runWithProgress(
        parent, QStringLiteral("LegacyProgress"), label,
        [&](const StepProgress& progress) { report.emplace(work(progress)); },
        [&label](int steps) { return QStringLiteral("%1\n共 %2 条记录").arg(label).arg(steps); });
    return std::move(*report);
}

void showReport(QWidget* parent, const Legacy::Report& report)
{
    MessageBox::report(parent,
                       report.lostSomething() ? MessageBox::Warning : MessageBox::Information,
                       report.summary(), report.listing());
}
