#include "gui_support/GridFixture.h"

#include "browser/gui/MshfGrid.h"
#include "browser/gui/SearchPanel.h"
#include "browser/gui/ViewsArea.h"
#include "support/gui/MessageBox.h"

#include <QLabel>
#include <QMenu>

GridFixture::GridFixture(bool startNow, Register::Kind kind)
    : m_temp(kind), m_window(std::make_unique<QWidget>())
{
    MessageBox::setScripted(true);
    m_window->resize(640, 560);
    m_grid = new MshfGrid(m_window.get());
    // The main window's place and size, so the same rows are in view.
    m_grid->setGeometry(0, 72, 601, 241);
    m_search = new SearchPanel(m_window.get());
    m_search->setGeometry(0, 312, 601, 217);
    m_status = new QLabel(m_window.get());
    m_folderMenu = new QMenu(m_window.get());
    m_views = new ViewsArea(m_temp.reg(), {m_grid, m_search, m_status}, m_window.get());
    m_views->setFolderMenu(m_folderMenu);
    if (startNow)
        start();
}

GridFixture::~GridFixture()
{
    m_window.reset();
    MessageBox::setScripted(false);
}

void GridFixture::start()
{
    m_views->RebuildFolderMenu();
    m_views->AllFile_Click();
    m_window->show();
}

QStringList GridFixture::column(int column) const
{
    QStringList cells;
    for (int row = 1; row < m_grid->Rows(); ++row)
        cells << m_grid->TextMatrix(row, column);
    return cells;
}
