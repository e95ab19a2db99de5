#pragma once

#include "support/TempRegister.h"

#include <memory>

class MshfGrid;
class QLabel;
class QMenu;
class QWidget;
class SearchPanel;
class ViewsArea;

// The grid, search panel, status label and folder menu with the views over
// them, on a temporary register and without a main window: what the areas
// and forms of the grid work with. Message boxes are answered by the test.
class GridFixture {
public:
    // Records can be added to `temp` before the views start. A server
    // register needs the test server (see NEED_KIND).
    explicit GridFixture(bool start = true, Register::Kind kind = Register::Kind::Sqlite);
    ~GridFixture();

    // Lists the folders and shows all records, as the window's start does.
    void start();
    TempRegister& temp() { return m_temp; }
    QWidget* window() const { return m_window.get(); }
    MshfGrid* grid() const { return m_grid; }
    SearchPanel* search() const { return m_search; }
    QLabel* status() const { return m_status; }
    QMenu* folderMenu() const { return m_folderMenu; }
    ViewsArea* views() const { return m_views; }
    // The grid's record rows, as the cells of `column` show them.
    QStringList column(int column) const;

private:
    TempRegister m_temp;
    std::unique_ptr<QWidget> m_window;
    MshfGrid* m_grid = nullptr;
    SearchPanel* m_search = nullptr;
    QLabel* m_status = nullptr;
    QMenu* m_folderMenu = nullptr;
    ViewsArea* m_views = nullptr;
};
