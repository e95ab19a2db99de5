#pragma once

#include "support/gui/Icons.h"

#include <QAction>
#include <QImage>
#include <QPixmap>

// Whether menu item `item` shows menu picture number `picture`.
inline bool hasMenuPicture(const QAction* item, int picture)
{
    const QPixmap expected = Icons::menuPicture(picture);
    const auto argb = [](const QImage& image) {
        return image.convertToFormat(QImage::Format_ARGB32);
    };
    return item && !item->icon().isNull() &&
           argb(item->icon().pixmap(expected.size()).toImage()) == argb(expected.toImage());
}
