#include "legacy/gui/LegacyImportAction.h"

#include "legacy/LegacyImport.h"
#include "legacy/gui/LegacyProgress.h"
#include "support/gui/MessageBox.h"
#include "support/gui/SaveDialog.h"

bool importLegacyRegister(QWidget* parent, const Register& reg)
{
    const QString folder = SaveDialog::getExistingFolder(
        parent, QStringLiteral("选择旧登记库所在的文件夹（含 文件管理.mdb 和 随机文件）"));
    if (folder.isEmpty())
        return false;
    Result<Legacy::Report> report =
        runWithProgress(parent, QStringLiteral("正在导入旧登记库的记录和文件……"),
                        [reg, folder](const StepProgress& progress) {
                            Result<Legacy::Report> done = LegacyImport::run(reg, folder, progress);
                            // This thread's connection goes with it.
                            reg.closeConnection();
                            return done;
                        });
    if (!report)
        MessageBox::warning(parent, report.error().fullText());
    else
        showReport(parent, *report);
    return true;
}
