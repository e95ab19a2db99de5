#pragma once

#include "store/Register.h"

#include <QList>
#include <QObject>
#include <QPoint>

class BinTableModel;
class QAction;
class QLabel;
class QMenu;
class QTableView;
class QWidget;

// 查询 → 回收站: shows the deleted records in a grid of their own, laid over
// the main grid, with the pop-up menu 恢复 / 彻底删除 / 清空回收站. While it
// is shown the commands that act on the main grid's records are disabled;
// any other view brings the main grid back.
class BinArea : public QObject {
    Q_OBJECT
public:
    // `mainGrid` is covered while the bin is shown; `recordActions` are
    // disabled meanwhile; `status` shows which view is on.
    BinArea(const Register& reg, QWidget* mainGrid, QList<QAction*> recordActions, QLabel* status,
            QWidget* parent);

    // Said when files are dropped on the bin.
    static const QString dropRefusedText;

    bool isShown() const;
    QTableView* grid() const { return m_grid; }
    QMenu* menu() const { return m_menu; }

    void show();
    void leave();
    void restoreSelected();
    void purgeSelected();
    void emptyBin();
    // Someone else changed the register: the shown entries are read again,
    // the selected ones and the one on top kept where they still are.
    void refresh();

Q_SIGNALS:
    // Records came back from the bin: folder menu and views may show them.
    void restored();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void reload();
    void popup(const QPoint& viewportPosition);
    QList<qint64> selectedIdentities() const;

    Register m_register;
    QWidget* m_parent;
    QWidget* m_mainGrid;
    QList<QAction*> m_recordActions;
    QLabel* m_status;
    QTableView* m_grid;
    QObject* m_viewport = nullptr; // m_grid's, whose events are watched
    BinTableModel* m_model;
    QMenu* m_menu;
    QAction* m_restore;
    QAction* m_purge;
    QAction* m_empty;
};
