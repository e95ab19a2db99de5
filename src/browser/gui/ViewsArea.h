#pragma once

#include "browser/SearchCriteria.h"
#include "store/ViewCondition.h"

#include <QObject>

class QAction;
class QMenu;
class TableFace;

// Views of the main window: the system views, folder views, the combined
// search and the folder menu.
class ViewsArea : public QObject {
    Q_OBJECT
public:
    explicit ViewsArea(TableFace* face);

    // Opens a view as the current record set and shows it in the grid. False
    // (after telling the user) when the view could not be read; the grid and
    // the status label then keep the previous view.
    bool Search(const ViewCondition& condition);
    // The condition of the seven search boxes; empties a date box that does
    // not hold a date.
    ViewCondition SqlMade();
    bool SearchCommand_Click();
    void Clear();

    void AllFile_Click();
    void MyTo_Click();
    void ManToMe_Click();
    void MyFile_Click();
    void FileMenu_Click(int index);
    // Lists the folders in the 文件夹 menu again; when the register cannot be
    // read the menu keeps its items.
    void RebuildFolderMenu();

    // The folder a folder item stands for (its caption without mnemonics
    // when it was never filled from the register).
    static QString folderOf(const QAction* item);

private:
    void fillBoxes(const SearchCriteria& criteria);
    QMenu* folderMenu() const;

    TableFace* m_face;
};
