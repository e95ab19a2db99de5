#include "support/gui/Icons.h"

#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

namespace Icons {

namespace {

const QColor ink(0x33, 0x3d, 0x4d);
const QColor folderYellow(0xf2, 0xc1, 0x4e);
const QColor folderEdge(0xb8, 0x86, 0x1b);
const QColor paper(0xfa, 0xfa, 0xf5);
const QColor blue(0x2f, 0x6f, 0xc9);
const QColor red(0xd0, 0x3a, 0x2f);
const QColor green(0x2e, 0x9d, 0x5b);

// Lines drawn straight on the window's background: the drawn ink on a light
// theme, the theme's own text colour on a dark one, where ink would vanish.
QColor inkOnWindow()
{
    const QColor text = QGuiApplication::palette().color(QPalette::WindowText);
    return text.lightness() > 128 ? text : ink;
}

QPixmap canvas(int width, int height)
{
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// Paints in a 32x32 design space scaled to the target size.
template <typename Paint> QPixmap drawn(int width, int height, Paint paint)
{
    QPixmap pixmap = canvas(width, height);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(width / 32.0, height / 32.0);
    paint(painter);
    return pixmap;
}

void paintFolder(QPainter& p, bool open)
{
    p.setPen(QPen(folderEdge, 1.5));
    p.setBrush(folderYellow.darker(110));
    QPainterPath back;
    back.moveTo(3, 8);
    back.lineTo(12, 8);
    back.lineTo(15, 11);
    back.lineTo(29, 11);
    back.lineTo(29, 27);
    back.lineTo(3, 27);
    back.closeSubpath();
    p.drawPath(back);
    p.setBrush(folderYellow);
    if (open) {
        QPainterPath front;
        front.moveTo(6, 15);
        front.lineTo(31, 15);
        front.lineTo(27, 27);
        front.lineTo(3, 27);
        front.closeSubpath();
        p.drawPath(front);
    } else {
        p.drawRect(QRectF(3, 13, 26, 14));
    }
}

void paintDocument(QPainter& p, const QRectF& r)
{
    p.setPen(QPen(ink, 1.5));
    p.setBrush(paper);
    QPainterPath page;
    page.moveTo(r.left(), r.top());
    page.lineTo(r.right() - 6, r.top());
    page.lineTo(r.right(), r.top() + 6);
    page.lineTo(r.right(), r.bottom());
    page.lineTo(r.left(), r.bottom());
    page.closeSubpath();
    p.drawPath(page);
    p.setPen(QPen(ink.lighter(160), 1.2));
    for (qreal y = r.top() + 9; y < r.bottom() - 3; y += 4)
        p.drawLine(QPointF(r.left() + 3, y), QPointF(r.right() - 3, y));
}

void paintArrow(QPainter& p, bool up, const QColor& color)
{
    p.setPen(QPen(color.darker(130), 1.5));
    p.setBrush(color);
    QPainterPath arrow;
    if (up) {
        arrow.moveTo(16, 3);
        arrow.lineTo(28, 16);
        arrow.lineTo(21, 16);
        arrow.lineTo(21, 29);
        arrow.lineTo(11, 29);
        arrow.lineTo(11, 16);
        arrow.lineTo(4, 16);
    } else {
        arrow.moveTo(16, 29);
        arrow.lineTo(28, 16);
        arrow.lineTo(21, 16);
        arrow.lineTo(21, 3);
        arrow.lineTo(11, 3);
        arrow.lineTo(11, 16);
        arrow.lineTo(4, 16);
    }
    arrow.closeSubpath();
    p.drawPath(arrow);
}

void paintDelete(QPainter& p)
{
    paintDocument(p, QRectF(4, 3, 18, 24));
    p.setPen(QPen(red, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(16, 16), QPointF(28, 28));
    p.drawLine(QPointF(28, 16), QPointF(16, 28));
}

void paintModify(QPainter& p)
{
    paintDocument(p, QRectF(3, 3, 20, 26));
    p.save();
    p.translate(20, 18);
    p.rotate(45);
    p.setPen(QPen(ink, 1.2));
    p.setBrush(QColor(0xf0, 0x9a, 0x2a));
    p.drawRect(QRectF(-3, -13, 6, 18));
    p.setBrush(paper);
    QPainterPath tip;
    tip.moveTo(-3, 5);
    tip.lineTo(3, 5);
    tip.lineTo(0, 11);
    tip.closeSubpath();
    p.drawPath(tip);
    p.restore();
}

void paintOpen(QPainter& p)
{
    paintFolder(p, true);
    p.setPen(QPen(green.darker(120), 1.2));
    p.setBrush(green);
    QPainterPath arrow;
    arrow.moveTo(20, 1);
    arrow.lineTo(27, 7);
    arrow.lineTo(23, 7);
    arrow.lineTo(23, 12);
    arrow.lineTo(17, 12);
    arrow.lineTo(17, 7);
    arrow.lineTo(13, 7);
    arrow.closeSubpath();
    p.drawPath(arrow);
}

void paintMagnifier(QPainter& p, int digit)
{
    const QColor lines = inkOnWindow();
    p.setPen(QPen(lines, 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(17, 17), QPointF(27, 27));
    p.setPen(QPen(lines, 2.5));
    p.setBrush(QColor(0xd8, 0xe8, 0xfa));
    p.drawEllipse(QPointF(12, 12), 8.5, 8.5);
    if (digit > 0) {
        p.setPen(Qt::NoPen);
        p.setBrush(blue);
        p.drawEllipse(QRectF(17, 17, 15, 15));
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setBold(true);
        font.setPixelSize(12);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRectF(17, 17, 15, 15), Qt::AlignCenter, QString::number(digit));
    }
}

void paintHelp(QPainter& p)
{
    p.setPen(QPen(blue.darker(130), 1.5));
    p.setBrush(blue);
    p.drawEllipse(QRectF(2, 2, 28, 28));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(22);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(2, 2, 28, 28), Qt::AlignCenter, QStringLiteral("?"));
}

void paintRegister(QPainter& p)
{
    paintFolder(p, false);
    paintDocument(p, QRectF(9, 2, 15, 18));
    p.setPen(Qt::NoPen);
    p.setBrush(blue);
    p.drawRoundedRect(QRectF(15, 15, 16, 16), 3, 3);
    // The letter as an outline, so the exported SVG needs no font.
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(13);
    QPainterPath letter;
    letter.addText(0, 0, font, QStringLiteral("Q"));
    const QRectF bounds = letter.boundingRect();
    letter.translate(QRectF(15, 15, 16, 16).center() - bounds.center());
    p.fillPath(letter, Qt::white);
}

QPixmap commandPicture(int command, int width, int height)
{
    return drawn(width, height, [command](QPainter& p) {
        switch (command) {
        case 1:
            paintOpen(p);
            break;
        case 2:
            paintDelete(p);
            break;
        case 3:
            paintArrow(p, true, blue);
            break;
        case 4:
            paintArrow(p, false, blue);
            break;
        default:
            paintModify(p);
            break;
        }
    });
}

} // namespace

void paintProgram(QPainter& painter)
{
    paintRegister(painter);
}

QIcon window()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64})
        icon.addPixmap(drawn(size, size, paintRegister));
    return icon;
}

QIcon toolbarButton(int n)
{
    QIcon icon;
    for (int size : {24, 48}) {
        if (n >= 1 && n <= 5)
            icon.addPixmap(commandPicture(n, size, size));
        else
            icon.addPixmap(drawn(size, size, [n](QPainter& p) { paintMagnifier(p, n - 5); }));
    }
    return icon;
}

QPixmap menuPicture(int number)
{
    if (number >= 2 && number <= 6)
        return commandPicture(number - 1, 16, 15);
    if (number >= 7 && number <= 15)
        return drawn(13, 13, [number](QPainter& p) { paintMagnifier(p, number - 6); });
    if (number == 16)
        return drawn(13, 13, [](QPainter& p) { paintFolder(p, false); });
    return drawn(16, 16, paintHelp);
}

QPixmap searchButton()
{
    // A picture, no caption: the button's tip names what it does.
    return drawn(26, 26, [](QPainter& p) { paintMagnifier(p, 0); });
}

QPixmap querySlot(int slot)
{
    return drawn(26, 26, [slot](QPainter& p) { paintMagnifier(p, slot); });
}

QPixmap alterCommand(const QString& fieldName)
{
    QPixmap pixmap = canvas(66, 27);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(red);
    QPainterPath arrow;
    arrow.moveTo(1, 13.5);
    arrow.lineTo(10, 5);
    arrow.lineTo(10, 10);
    arrow.lineTo(18, 10);
    arrow.lineTo(18, 17);
    arrow.lineTo(10, 17);
    arrow.lineTo(10, 22);
    arrow.closeSubpath();
    p.drawPath(arrow);
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(11);
    p.setFont(font);
    p.setPen(inkOnWindow());
    p.drawText(QRectF(20, 0, 46, 13), Qt::AlignCenter, QStringLiteral("修改"));
    p.drawText(QRectF(20, 13, 46, 14), Qt::AlignCenter, fieldName);
    return pixmap;
}

} // namespace Icons
