#pragma once

#include "browser/gui/RSTMSHF.h"
#include "store/Register.h"
#include "store/ViewRst.h"

#include <QList>
#include <QMainWindow>

#include <memory>

class MshfGrid;
class QLabel;
class QLineEdit;
class QMenu;
class QSystemTrayIcon;
class QTextBrowser;
class QToolBar;
class QToolButton;
class QGroupBox;
class TrolleyMSHF;
class ViewsArea;
class RecordOperationsArea;
class IntakeArea;
class QueriesArea;
class BinArea;

// The main window. It lays out the controls and wires menus, toolbar, grid
// and tray to the areas that do the work: views and search, record
// operations, intake, custom queries.
class TableFace : public QMainWindow {
    Q_OBJECT
public:
    explicit TableFace(Register reg, QWidget* parent = nullptr);
    ~TableFace() override;

    // The start-up sequence: tray, wheel, binder, grid format, folder menu,
    // query captions, all records, show, menu bitmaps, start page.
    void startUp();

    // Controls and shared state the areas work with.
    const Register& registerStore() const { return m_register; }
    MshfGrid* MSHF() const { return m_grid; }
    QLabel* Label13() const { return m_statusLabel; }
    const QList<QLineEdit*>& SearchText() const { return m_searchBoxes; }
    QMenu* topMenu(int position) const { return m_topMenus.value(position); }
    QAction* action(const QString& objectName) const;
    QList<QAction*> toolbarButtons() const { return m_toolbarButtons; }
    QToolBar* Toolbar1() const { return m_toolbar; }
    QSystemTrayIcon* trayIcon() const { return m_tray; }
    TrolleyMSHF* Tmshf() const { return m_wheel; }
    RSTMSHF& binder() { return m_binder; }

    const std::shared_ptr<ViewRst>& currentView() const { return m_view; }
    void setCurrentView(std::shared_ptr<ViewRst> view) { m_view = std::move(view); }

    ViewsArea* views() const { return m_views; }
    RecordOperationsArea* operations() const { return m_operations; }
    IntakeArea* intake() const { return m_intake; }
    QueriesArea* queries() const { return m_queries; }
    BinArea* bin() const { return m_bin; }

    void MshfFormat();
    // Toolbar button n (1..14), as a click on it.
    void toolbarButtonClicked(int n);
    // The tray icon's activation: toggles between shown and hidden.
    void trayActivated();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildToolbar(QWidget* client);
    void buildSearchPanel(QWidget* client);
    void buildTray();
    void showHelp();
    QAction* addMenuItem(QMenu* menu, const QString& objectName, const QString& caption);

    Register m_register;
    std::shared_ptr<ViewRst> m_view;
    RSTMSHF m_binder;

    MshfGrid* m_grid = nullptr;
    QLabel* m_statusLabel = nullptr;
    QGroupBox* m_searchFrame = nullptr;
    QList<QLineEdit*> m_searchBoxes;
    QToolButton* m_searchButton = nullptr;
    QTextBrowser* m_startPage = nullptr;
    QToolBar* m_toolbar = nullptr;
    QList<QAction*> m_toolbarButtons;
    QList<QMenu*> m_topMenus;
    QSystemTrayIcon* m_tray = nullptr;
    TrolleyMSHF* m_wheel = nullptr;

    ViewsArea* m_views = nullptr;
    RecordOperationsArea* m_operations = nullptr;
    IntakeArea* m_intake = nullptr;
    QueriesArea* m_queries = nullptr;
    BinArea* m_bin = nullptr;
};
