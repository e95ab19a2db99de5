#pragma once

class QMenu;
class TableFace;

// Pictures beside menu items: the record commands, the nine custom queries
// and the help contents get theirs once; every folder item gets the folder
// picture each time the folder menu is rebuilt.
namespace MenuBitmaps {

void attachFixed(TableFace* face);
void attachFolderPictures(QMenu* folderMenu);

} // namespace MenuBitmaps
