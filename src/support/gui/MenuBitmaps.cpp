#include "support/gui/MenuBitmaps.h"

#include "support/gui/Icons.h"

#include <QMenu>

namespace MenuBitmaps {

namespace {

void attach(QMenu* menu, int position, int picture)
{
    if (!menu)
        return;
    const QList<QAction*> items = menu->actions();
    if (position < items.size())
        items.at(position)->setIcon(QIcon(Icons::menuPicture(picture)));
}

} // namespace

void attachFixed(QMenu* fileMenu, QMenu* queryMenu, QMenu* helpMenu)
{
    for (int position = 0; position <= 4; ++position)
        attach(fileMenu, position, 2 + position);
    for (int position = 0; position <= 8; ++position)
        attach(queryMenu, position, 7 + position);
    attach(helpMenu, 0, 17);
}

void attachFolderPictures(QMenu* folderMenu)
{
    if (!folderMenu)
        return;
    const QIcon folder(Icons::menuPicture(16));
    for (QAction* item : folderMenu->actions())
        item->setIcon(folder);
}

} // namespace MenuBitmaps
