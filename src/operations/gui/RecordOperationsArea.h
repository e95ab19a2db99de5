#pragma once

#include "store/Register.h"
#include "store/SeenRecord.h"

#include <QList>
#include <QObject>
#include <QPoint>

class MshfGrid;
class RecordTableModel;

// What the user does to the selected records of the main grid. Each handler
// reads the grid, calls one core operation and shows its outcome; a
// placeholder row (empty stored-name cell) makes every one of them do
// nothing.
class RecordOperationsArea : public QObject {
    Q_OBJECT
public:
    // `window` owns the messages and dialogs.
    RecordOperationsArea(Register reg, MshfGrid* grid, QWidget* window);

    // From the menu item or toolbar button: collapse the selection first.
    void openFromCommand();
    // From a double-click or Enter: the current row as it is.
    void open();
    void saveAs();
    void sendToDesktop();
    void deleteRecord();
    void moveUp();
    void moveDown();
    // Asks for the modify form on the selected records.
    void modify();
    // Opens a window with the current record's history.
    void showHistory();
    // Right button over the grid: select the row and ask for the file menu.
    void gridRightButton(int rowUnderPointer, const QPoint& globalPosition);

    // Shows the new values of modified records that the grid lists.
    void showChanged(const QList<qint64>& rowids);

    // How long after a delete the folder menu is rebuilt, in milliseconds.
    static constexpr int folderMenuDelay = 630;

Q_SIGNALS:
    // The file menu should pop up at `globalPosition`.
    void contextMenuRequested(const QPoint& globalPosition);
    // Records were deleted or modified: the folder menu may list other
    // folders now. Sent a moment after the change, when the menu is due.
    void foldersChanged();
    // The selected records, as seen now, are to be modified in a form.
    void modifyRequested(const QList<SeenRecord>& records);

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

    Register m_register;
    MshfGrid* m_grid;
    QWidget* m_window;
    // Failures of several openers at once are told in one box.
    bool m_tellingCannotOpen = false;
};
