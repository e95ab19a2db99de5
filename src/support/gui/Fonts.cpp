#include "support/gui/Fonts.h"

#include <QApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace Fonts {

namespace {

QFont font(const QStringList& families, qreal pointSize)
{
    QFont font;
    font.setFamilies(families);
    font.setPointSizeF(pointSize * textScale());
    return font;
}

} // namespace

QFont song(qreal pointSize)
{
    return font({QStringLiteral("SimSun"), QStringLiteral("宋体"),
                 QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Sans CJK SC")},
                pointSize);
}

QFont ui(qreal pointSize)
{
    return font({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("DejaVu Sans")}, pointSize);
}

qreal textScale()
{
    const qreal size = QApplication::font().pointSizeF();
    return std::max<qreal>(1, size / standardPointSize);
}

qreal layoutScale()
{
    qreal dpi = 96;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        dpi = screen->logicalDotsPerInchY();
    return textScale() * std::max<qreal>(1, dpi / 96);
}

int px(int twips)
{
    const qreal scale = layoutScale();
    return scale == 1 ? twips / 15 : int(std::lround(twips * scale / 15));
}

int scaled(int pixels)
{
    const qreal scale = layoutScale();
    return scale == 1 ? pixels : int(std::lround(pixels * scale));
}

} // namespace Fonts
