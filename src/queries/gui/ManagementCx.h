#pragma once

#include "store/Register.h"

#include <QDialog>
#include <QList>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

// The definitions form of the nine saved queries: the slot list on the left,
// the selected slot's name, toolbar title and seven criteria on the right.
class ManagementCx : public QDialog {
    Q_OBJECT
public:
    explicit ManagementCx(Register reg, QWidget* parent = nullptr);

    // Slot list, title and boxes: SearchText(0..6) criteria, 7 name, 8 title,
    // 9 the content word.
    QTableWidget* MSHFlexGrid1() const { return m_grid; }
    QLabel* Label1() const { return m_title; }
    const QList<QLineEdit*>& SearchText() const { return m_boxes; }
    // 1..9
    int selectedSlot() const;
    void selectSlot(int slot);

    void FixedCommand_Click();
    void Command1_Click();
    void CancelCommand_Click();

Q_SIGNALS:
    // A slot was written; the main window's captions need refreshing.
    void saved();

private:
    void Form_Load();
    void MSHFlexGrid1_RowColChange();
    void setSlotName(int row, const QString& name);
    // After a successful write: list, captions, boxes, then the notice.
    void afterWrite(int row);

    Register m_register;
    QTableWidget* m_grid = nullptr;
    QLabel* m_title = nullptr;
    QList<QLineEdit*> m_boxes;
    QPushButton* m_save = nullptr;
    QPushButton* m_clear = nullptr;
    QPushButton* m_cancel = nullptr;
    int m_shownRow = -1;
};
