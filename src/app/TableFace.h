#pragma once

#include "browser/gui/RSTMSHF.h"
#include "queries/QuerySlots.h"
#include "store/Register.h"
#include "store/SeenRecord.h"
#include "store/view/ViewRst.h"

#include <QList>
#include <QMainWindow>

#include <memory>

class MshfGrid;
class QLabel;
class QMenu;
class QSystemTrayIcon;
class QTextBrowser;
class QToolBar;
class SearchPanel;
class TrolleyMSHF;
class ViewsArea;
class RecordOperationsArea;
class IntakeArea;
class QueriesArea;
class BinArea;
class RegisterWatch;
class QTimer;
class ContentArea;
class PreviewPane;
class InboxRunner;
class PaperArea;

// The main window. It lays out the controls and wires menus, toolbar, grid
// and tray to the areas that do the work: views and search, record
// operations, intake, custom queries. The areas and their forms know nothing
// of this window: they take the controls they work on and report through
// signals, which meet here.
class TableFace : public QMainWindow {
    Q_OBJECT
public:
    explicit TableFace(Register reg, QWidget* parent = nullptr);
    ~TableFace() override;

    // The start-up sequence: tray, wheel, binder, grid format, folder menu,
    // query captions, all records, show, menu bitmaps, start page.
    void startUp();

    const Register& registerStore() const { return m_register; }
    MshfGrid* MSHF() const { return m_grid; }
    QLabel* Label13() const { return m_statusLabel; }
    SearchPanel* searchPanel() const { return m_search; }
    QMenu* fileMenu() const { return m_fileMenu; }
    QMenu* folderMenu() const { return m_folderMenu; }
    // The menu item and toolbar button of saved query `slot` (1..9).
    QAction* queryItem(int slot) const { return m_queryItems.value(slot - 1); }
    QAction* queryButton(int slot) const { return m_toolbarButtons.value(slot + 4); }
    QToolBar* Toolbar1() const { return m_toolbar; }
    QSystemTrayIcon* trayIcon() const { return m_tray; }
    TrolleyMSHF* Tmshf() const { return m_wheel; }
    RSTMSHF& binder();
    const std::shared_ptr<ViewRst>& currentView() const;

    ViewsArea* views() const { return m_views; }
    RecordOperationsArea* operations() const { return m_operations; }
    IntakeArea* intake() const { return m_intake; }
    QueriesArea* queries() const { return m_queries; }
    BinArea* bin() const { return m_bin; }
    ContentArea* content() const { return m_content; }
    PreviewPane* preview() const { return m_preview; }
    PaperArea* paper() const { return m_paper; }
    QLabel* contentSnippet() const { return m_snippet; }
    // What the inbox took in while the window is open.
    QLabel* inboxStatus() const { return m_inboxStatus; }
    // Tells of others' changes once the window has started.
    RegisterWatch* registerWatch() const { return m_watch; }

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
    void buildTray();
    void connectAreas();
    void showHelp();
    void importLegacy();
    QAction* addMenuItem(QMenu* menu, const QString& objectName, const QString& caption);

    // Every change to the register that can add or remove a folder ends
    // here: the folder menu lists the folders again.
    void refreshFolderMenu();
    // New records are last in the view: it is searched again and shows them.
    void showRegistered();
    void showQueryCaptions(const QList<QuerySlot>& slots);
    // The modify form, on the records the grid had selected.
    void openModifyForm(const QList<SeenRecord>& records);
    // Someone else changed the register: the view, the folder menu and the
    // query captions are read again, as soon as nothing stands in the way.
    void outsideChange();
    void applyOutsideChange();
    // The snippet and the preview follow the grid's current record.
    void showCurrentContent();
    void setPreviewShown(bool shown);
    void setOcr(bool on);
    void showOcrSetting();

    Register m_register;

    MshfGrid* m_grid = nullptr;
    QLabel* m_statusLabel = nullptr;
    SearchPanel* m_search = nullptr;
    QTextBrowser* m_startPage = nullptr;
    QToolBar* m_toolbar = nullptr;
    QList<QAction*> m_toolbarButtons;
    QMenu* m_fileMenu = nullptr;
    QMenu* m_queryMenu = nullptr;
    QMenu* m_folderMenu = nullptr;
    QMenu* m_helpMenu = nullptr;
    QList<QAction*> m_queryItems;
    QSystemTrayIcon* m_tray = nullptr;
    TrolleyMSHF* m_wheel = nullptr;

    ViewsArea* m_views = nullptr;
    RecordOperationsArea* m_operations = nullptr;
    IntakeArea* m_intake = nullptr;
    QueriesArea* m_queries = nullptr;
    BinArea* m_bin = nullptr;
    ContentArea* m_content = nullptr;
    PreviewPane* m_preview = nullptr;
    PaperArea* m_paper = nullptr;
    QLabel* m_snippet = nullptr;
    QLabel* m_readingStatus = nullptr;
    QAction* m_previewItem = nullptr;
    QAction* m_ocrItem = nullptr;
    QTimer* m_currentContent = nullptr;
    InboxRunner* m_inbox = nullptr;
    QLabel* m_inboxStatus = nullptr;

    RegisterWatch* m_watch = nullptr;
    QTimer* m_outsideRetry = nullptr;
    bool m_outsideChange = false;
};
