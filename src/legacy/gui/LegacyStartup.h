#pragma once

#include "base/Result.h"

#include <QString>

// At start-up, a register folder may still hold an old Jet register. The
// person is asked whether to convert it now; yes converts behind a progress
// window and shows what was done; no leaves every file as it is, says how to
// convert later, and the program then ends without a window (no failure:
// the person chose so).
enum class LegacyOffer { NothingToConvert, Converted, Declined };
Result<LegacyOffer> offerLegacyConversion(const QString& folder);

inline const QString legacyConversionQuestion = QStringLiteral(
    "在“%1”找到的登记库是旧格式（Access 数据库）。\n\n"
    "现在把它转换为 Quorvel 的格式吗？\n"
    "旧的数据库文件会保留下来（改名为 文件管理.jet.mdb），存储文件夹中的文件不会改动。\n\n"
    "选择“否”则不做任何改动。");

inline const QString legacyConversionDeclined =
    QStringLiteral("登记库保持原样，没有改动任何文件。\n\n"
                   "以后要转换时，再次启动 Quorvel 并在询问时选择“是”，或在命令行运行：\n"
                   "quorvel-cli --register \"%1\" convert");
