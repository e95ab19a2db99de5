#pragma once

#include <QObject>
#include <QPoint>

class TableFace;

// What the user does to the selected records of the main grid.
class RecordOperationsArea : public QObject {
    Q_OBJECT
public:
    explicit RecordOperationsArea(TableFace* face);

    // From the menu item or toolbar button: collapse the selection first.
    void openFromCommand();
    // From a double-click or Enter: the current row as it is.
    void open();
    void saveAs();
    void sendToDesktop();
    void deleteRecord();
    void moveUp();
    void moveDown();
    void modify();
    // Right button over the grid: select the row and pop up the file menu.
    void gridRightButton(int rowUnderPointer, const QPoint& globalPosition);

private:
    TableFace* m_face;
};
