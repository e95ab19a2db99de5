#pragma once

#include "base/Result.h"
#include "browser/gui/RSTMSHF.h"
#include "store/Register.h"
#include "store/view/SearchCriteria.h"
#include "store/view/ViewCondition.h"
#include "store/view/ViewRst.h"

#include <QList>
#include <QObject>

#include <functional>

class BackgroundSearch;
class MshfGrid;
class QAction;
class QLabel;
class QMenu;
class SearchPanel;

// Views of the main window: the system views, folder views, the combined
// search and the folder menu. The grid's model holds the current view.
class ViewsArea : public QObject {
    Q_OBJECT
public:
    // The controls the views are shown in and read from.
    struct Parts {
        MshfGrid* grid = nullptr;
        SearchPanel* search = nullptr;
        QLabel* status = nullptr;
    };

    // `window` shows the busy cursor and owns the messages. A search the
    // panel asks for is run here.
    ViewsArea(Register reg, Parts parts, QWidget* window);

    // The menu the folder items are listed in. Its first item, added here,
    // is never removed: an empty register still offers one folder.
    void setFolderMenu(QMenu* menu);
    RSTMSHF& binder() { return m_binder; }
    // The record set the grid shows.
    const std::shared_ptr<ViewRst>& currentView() const;

    // Opens a view as the current record set and shows it in the grid, with
    // `caption` in the status label. False (after telling the user) when the
    // view could not be read; the grid and the status label then keep the
    // previous view. With background searching on, the keys load on another
    // thread: the call returns true at once and the grid changes when they
    // arrive: its first screen as soon as it is read, the remaining rows
    // when the rest is; a newer search replaces one still running.
    bool Search(const ViewCondition& condition,
                const QString& caption = QStringLiteral("         组合搜索"));
    // The program searches in the background; without it (tests, and callers
    // that act on the result at once) Search returns with the view shown.
    void setBackgroundSearch(bool on);
    // Until the whole view is loaded (its first screen may be shown).
    bool isSearching() const;
    // Waits, keeping the window alive, until no search is running; false when
    // one still runs after `timeoutMs`.
    bool waitForSearch(int timeoutMs = 60000);
    // Runs `then` once the newest search has shown its view (or failed); at
    // once when none is running.
    void afterSearch(std::function<void()> then);
    // Reads the current view again after someone else changed the register:
    // the same condition, the caption as it is, and the top row, the current
    // record and the selected ones where they still are in it. In the
    // background like a search, but nothing is shown until the whole view is
    // read, and a search started meanwhile wins. Failures are not reported:
    // the next change tries again. False, doing nothing, while a search runs.
    bool refresh();
    // The condition of the seven search boxes; empties a date box that does
    // not hold a date.
    ViewCondition SqlMade();
    bool SearchCommand_Click();
    void Clear();
    // Writes every box and runs their search under `caption`.
    bool searchFor(const SearchCriteria& criteria, const QString& caption);

    void AllFile_Click();
    void MyTo_Click();
    void ManToMe_Click();
    void MyFile_Click();
    void FileMenu_Click(int index);
    // Lists the folders in the 文件夹 menu again; when the register cannot be
    // read the menu keeps its items.
    void RebuildFolderMenu();

    // The folder a folder item stands for (its caption without mnemonics
    // when it was never filled from the register).
    static QString folderOf(const QAction* item);

Q_SIGNALS:
    // A view is now in the grid.
    void viewShown();

private:
    QAction* folderItem(int index) const;

    // `firstScreen`: the keys are the view's first ones, its count to follow.
    bool show(const ViewCondition& condition, Result<ViewRst::Start> started,
              const QString& caption, bool firstScreen = false);
    void finishSearch(const ViewCondition& condition, Result<ViewRst::Start> started,
                      const QString& caption);
    // `found`: the records the window was on when the view was read again,
    // whose positions `started` tells.
    void refreshed(const std::shared_ptr<ViewRst>& view, quint64 changes, QList<qint64> found,
                   Result<ViewRst::Start> started);
    void replaceView(const std::shared_ptr<ViewRst>& view, const QList<qint64>& found,
                     const ViewRst::Start& started);
    void runAfterSearch();

    Register m_register;
    Parts m_parts;
    QWidget* m_window;
    QMenu* m_folderMenu = nullptr;
    RSTMSHF m_binder;
    BackgroundSearch* m_background = nullptr;
    QList<std::function<void()>> m_afterSearch;
    // The view shown with its first screen only, and its change count then.
    std::shared_ptr<ViewRst> m_partial;
    quint64 m_partialChanges = 0;
};
