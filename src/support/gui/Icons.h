#pragma once

#include <QIcon>
#include <QPixmap>

class QPainter;

// The program's pictures, drawn in code so they stay crisp and consistent:
// window and tray icon, toolbar buttons, menu bitmaps, form buttons.
namespace Icons {

// The program's icon, painted in a 32x32 design space. The window and the
// tray use window(); the icon theme files exported at build time are
// painted by paintProgram, so the launcher shows the same picture.
void paintProgram(QPainter& painter);
QIcon window();

// Toolbar button n (1..14): open, delete, up, down, modify, then the nine
// custom queries.
QIcon toolbarButton(int n);

// Menu bitmaps by picture number 2..17: 2-6 the record commands, 7-15 the
// nine custom queries, 16 the folder, 17 the help contents.
QPixmap menuPicture(int number);

// The search panel's picture button.
QPixmap searchButton();

// A 26x26 magnifying glass with the slot's digit in its lower right corner.
QPixmap querySlot(int slot);

// The modify form's batch buttons: a red arrow pointing left and two lines
// of text, 修改 above the field's name.
QPixmap alterCommand(const QString& fieldName);

} // namespace Icons
