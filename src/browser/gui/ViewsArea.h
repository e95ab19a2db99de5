#pragma once

#include "store/ViewCondition.h"

#include <QObject>

class TableFace;

// Views of the main window: the system views, folder views, the combined
// search and the folder menu.
class ViewsArea : public QObject {
    Q_OBJECT
public:
    explicit ViewsArea(TableFace* face);

    // Opens a view as the current record set and shows it in the grid.
    void Search(const ViewCondition& condition);
    // The condition of the seven search boxes; empties a date box that does
    // not hold a date.
    ViewCondition SqlMade();
    void SearchCommand_Click();
    void Clear();

    void AllFile_Click();
    void MyTo_Click();
    void ManToMe_Click();
    void MyFile_Click();
    void FileMenu_Click(int index);
    void RebuildFolderMenu();

private:
    TableFace* m_face;
};
