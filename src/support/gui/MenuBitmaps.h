#pragma once

class QMenu;

// Pictures beside menu items: the record commands, the nine custom queries
// and the help contents get theirs once; every folder item gets the folder
// picture each time the folder menu is rebuilt.
namespace MenuBitmaps {

void attachFixed(QMenu* fileMenu, QMenu* queryMenu, QMenu* helpMenu);
void attachFolderPictures(QMenu* folderMenu);

} // namespace MenuBitmaps
