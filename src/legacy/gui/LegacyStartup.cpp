#include "legacy/gui/LegacyStartup.h"

#include "legacy/LegacyConversion.h"
#include "legacy/gui/LegacyProgress.h"
#include "support/gui/MessageBox.h"

#include <QDir>

Result<LegacyOffer> offerLegacyConversion(const QString& folder)
{
    if (!LegacyConversion::needsConversion(folder))
        return LegacyOffer::NothingToConvert;
    const QString question = legacyConversionQuestion.arg(QDir::toNativeSeparators(folder));
    if (MessageBox::question(nullptr, question, QStringLiteral("Quorvel2.0")) != MessageBox::Yes) {
        MessageBox::information(nullptr,
                                legacyConversionDeclined.arg(QDir::toNativeSeparators(folder)));
        return LegacyOffer::Declined;
    }
    Result<Legacy::Report> report =
        runWithProgress(nullptr, QStringLiteral("正在把旧登记库转换为 Quorvel 的格式……"),
                        [folder](const StepProgress& progress) {
                            return LegacyConversion::convert(folder, false, progress);
                        });
    if (!report)
        return report.error();
    showReport(nullptr, *report);
    return LegacyOffer::Converted;
}
