#include "base/SizeText.h"

namespace SizeText {

QString of(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(bytes);
    constexpr int count = 4;
    const char* const units[count] = {"KiB", "MiB", "GiB", "TiB"};
    double value = double(bytes) / 1024;
    int unit = 0;
    // 1023.96 KiB would read "1024.0 KiB": that is the next unit's 1.0.
    while (value >= 1023.95 && unit + 1 < count) {
        value /= 1024;
        ++unit;
    }
    return QString::number(value, 'f', 1) + QLatin1Char(' ') + QLatin1String(units[unit]);
}

} // namespace SizeText
