#pragma once

#include <QFont>

// 宋体 where it exists, else the Noto CJK faces Debian ships.
namespace Fonts {

inline QFont song(qreal pointSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"),
                      QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Sans CJK SC")});
    font.setPointSizeF(pointSize);
    return font;
}

inline QFont ui(qreal pointSize = 9)
{
    QFont font;
    font.setFamilies({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("DejaVu Sans")});
    font.setPointSizeF(pointSize);
    return font;
}

// Twips (1/1440 inch) to pixels at 96 dots per inch.
constexpr int px(int twips)
{
    return twips / 15;
}

} // namespace Fonts
