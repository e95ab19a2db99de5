#include "backup/gui/BackupAction.h"

#include "backup/Backup.h"
#include "support/gui/MessageBox.h"
#include "support/gui/SaveDialog.h"
#include "support/gui/WorkProgress.h"

#include <optional>

void backupRegister(QWidget* parent, const Register& reg)
{
    const QString folder = SaveDialog::getExistingFolder(
        parent, QStringLiteral("选择备份文件夹（空文件夹，或以前备份过的文件夹）"));
    if (folder.isEmpty())
        return;
    std::optional<Result<Backup::Report>> done;
    runWithProgress(
        parent, QStringLiteral("BackupProgress"), QStringLiteral("正在备份登记库……"),
        [&](const StepProgress& progress) { done.emplace(Backup::run(reg, folder, progress)); });

    const Result<Backup::Report>& report = *done;
    if (!report)
        MessageBox::warning(parent, report.error().fullText());
    else if (!report->complete())
        MessageBox::warning(parent, report->text());
    else
        MessageBox::information(parent, report->text());
}
