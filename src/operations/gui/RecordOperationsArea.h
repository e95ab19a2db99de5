#pragma once

#include <QObject>
#include <QPoint>

class MshfGrid;
class RecordTableModel;
class TableFace;

// What the user does to the selected records of the main grid. Each handler
// reads the grid, calls one core operation and shows its outcome; a
// placeholder row (empty stored-name cell) makes every one of them do
// nothing.
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

    // How long after a delete the folder menu is rebuilt, in milliseconds.
    static constexpr int folderMenuDelay = 630;

Q_SIGNALS:
    // The folder menu was rebuilt after a delete.
    void folderMenuRebuilt();

private:
    MshfGrid* grid() const;
    RecordTableModel* model() const;
    // The current grid row when it shows a record; 0 for the header or a
    // placeholder row.
    int currentRecordRow() const;
    // Shows "文件未找到" and gives an empty text when the stored copy of
    // `row` is missing.
    QString storedCopyOrWarn(int row) const;
    void selectWholeRow(int row);

    TableFace* m_face;
};
