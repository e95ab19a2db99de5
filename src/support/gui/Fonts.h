#pragma once

#include <QFont>

// 宋体 where it exists, else the Noto CJK faces Debian ships.
//
// The windows are laid out to the pixel for 9-point text at 96 dots per
// inch. Where the desktop asks for larger text (a bigger font, a higher
// font DPI), the fonts and the whole layout grow by the same factor rather
// than have captions cut.
namespace Fonts {

// The size of the program's text chosen on the desktop, in points.
constexpr qreal standardPointSize = 9;

QFont song(qreal pointSize);
QFont ui(qreal pointSize = standardPointSize);

// How much larger than the standard the application font's text is, and
// how much larger than 96 its DPI; never less than 1.
qreal textScale();
qreal layoutScale();

// Twips (1/1440 inch) to pixels at 96 dots per inch, times layoutScale().
int px(int twips);
// Pixels of the standard layout, times layoutScale().
int scaled(int pixels);

} // namespace Fonts
