#include "browser/gui/ViewsArea.h"

#include "browser/BackgroundSearch.h"
#include "browser/CombinedSearch.h"
#include "browser/FolderMenu.h"
#include "browser/SystemViews.h"
#include "browser/gui/MshfGrid.h"
#include "browser/gui/RecordTableModel.h"
#include "browser/gui/SearchPanel.h"
#include "support/gui/MenuBitmaps.h"
#include "support/gui/MessageBox.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QMenu>
#include <QTimer>

namespace {

QString folderItemName(int index)
{
    return QStringLiteral("FileMenu%1").arg(index);
}

// A folder name as a menu caption: "&" would otherwise become a mnemonic.
QString captionFor(const QString& folder)
{
    QString caption = folder;
    return caption.replace(QLatin1Char('&'), QLatin1String("&&"));
}

} // namespace

ViewsArea::ViewsArea(Register reg, Parts parts, QWidget* window)
    : QObject(window), m_register(std::move(reg)), m_parts(parts), m_window(window)
{
    m_binder.Attach(m_parts.grid);
    connect(m_parts.search, &SearchPanel::searchRequested, this, &ViewsArea::SearchCommand_Click);
}

const std::shared_ptr<ViewRst>& ViewsArea::currentView() const
{
    return m_parts.grid->recordModel()->view();
}

bool ViewsArea::Search(const ViewCondition& condition, const QString& caption)
{
    if (m_background) {
        m_window->setCursor(Qt::BusyCursor);
        m_partial.reset();
        m_background->start(
            condition,
            [this, condition, caption](Result<ViewRst::Start> started) {
                finishSearch(condition, std::move(started), caption);
            },
            // The busy cursor stays while the view is counted.
            [this, condition, caption](QList<qint64> keys) {
                show(condition, ViewRst::Start{std::move(keys), -1, {}}, caption, true);
            });
        return true;
    }
    return show(condition, ViewRst::start(m_register, condition), caption);
}

void ViewsArea::finishSearch(const ViewCondition& condition, Result<ViewRst::Start> started,
                             const QString& caption)
{
    const std::shared_ptr<ViewRst> partial = std::exchange(m_partial, {});
    if (!partial || !started) {
        show(condition, std::move(started), caption);
    } else if (partial->changeCount() != m_partialChanges) {
        // An operation moved keys of the first screen: the count read
        // meanwhile may not fit them any more, so the view is read again.
        Search(condition, caption);
        return;
    } else if (partial == currentView()) {
        m_parts.grid->recordModel()->completeView(started->count);
    }
    m_window->unsetCursor();
    runAfterSearch();
}

void ViewsArea::runAfterSearch()
{
    const QList<std::function<void()>> waiting = std::exchange(m_afterSearch, {});
    for (const std::function<void()>& then : waiting)
        then();
}

bool ViewsArea::refresh()
{
    if (isSearching())
        return false;
    const std::shared_ptr<ViewRst> view = currentView();
    if (!view)
        return true;
    const quint64 changes = view->changeCount();
    // The records the window is on, by identity rather than by row.
    const MshfGrid* grid = m_parts.grid;
    QList<qint64> found;
    if (!view->isEmpty())
        found = {view->keyAt(grid->Row()), view->keyAt(grid->RowSel()),
                 view->keyAt(grid->TopRow())};
    if (!m_background) {
        refreshed(view, changes, found, ViewRst::start(m_register, view->condition(), {}, found));
        return true;
    }
    m_background->start(
        view->condition(),
        [this, view, changes, found](Result<ViewRst::Start> started) {
            refreshed(view, changes, found, std::move(started));
        },
        {}, found);
    return true;
}

// How often a refreshed view waiting for a dialog to close looks again.
constexpr int refreshWaitMs = 200;

void ViewsArea::refreshed(const std::shared_ptr<ViewRst>& view, quint64 changes,
                          QList<qint64> found, Result<ViewRst::Start> started)
{
    // A dialog or menu opened meanwhile may act on the rows it was opened
    // on: the new view waits until it is closed.
    if (view == currentView() && started &&
        (QApplication::activeModalWidget() || QApplication::activePopupWidget())) {
        QTimer::singleShot(refreshWaitMs, this, [this, view, changes, found, started] {
            refreshed(view, changes, found, started);
        });
        return;
    }
    if (view == currentView() && started) {
        if (view->changeCount() != changes) {
            // A delete or move of the window's own came in between: what was
            // read may be older than it, so it is read again.
            refresh();
            return;
        }
        replaceView(view, found, *started);
    }
    runAfterSearch();
}

void ViewsArea::replaceView(const std::shared_ptr<ViewRst>& view, const QList<qint64>& found,
                            const ViewRst::Start& started)
{
    MshfGrid* grid = m_parts.grid;
    const int row = grid->Row();
    const int otherEnd = grid->RowSel();
    const int top = grid->TopRow();
    const QList<int> onScreen = {row, otherEnd, top};
    const bool wasEmpty = view->isEmpty();
    if (!wasEmpty && started.count == view->recordCount() && started.positions == onScreen) {
        // The window stays on the same rows: they are read again where they stand.
        view->reread(started.count);
        grid->recordModel()->rereadAll();
        return;
    }
    auto fresh =
        std::make_shared<ViewRst>(m_register, view->condition(), started.first, started.count);
    // Rows the window moved to since the view was read are looked up now.
    QList<int> positions;
    for (qsizetype i = 0; i < found.size(); ++i) {
        const qint64 key = wasEmpty ? 0 : view->keyAt(onScreen.at(i));
        positions << (key == found.at(i) ? started.positions.value(i) : fresh->positionOf(key));
    }
    m_binder.Bd(fresh);
    if (wasEmpty || fresh->isEmpty())
        return;
    int newRow = positions.at(0);
    int newOtherEnd = positions.at(1);
    if (newRow == 0 && newOtherEnd == 0)
        newRow = newOtherEnd =
            std::min(row, fresh->recordCount()); // gone: the row that took its place
    else if (newRow == 0)
        newRow = newOtherEnd;
    else if (newOtherEnd == 0)
        newOtherEnd = newRow;
    grid->selectRows(newRow, newOtherEnd);
    grid->setTopRow(positions.at(2) != 0 ? positions.at(2) : top);
}

bool ViewsArea::show(const ViewCondition& condition, Result<ViewRst::Start> started,
                     const QString& caption, bool firstScreen)
{
    if (!started) {
        MessageBox::warning(m_window, started.error().fullText());
        return false;
    }
    m_binder.Bd(std::make_shared<ViewRst>(m_register, condition, std::move(started->first),
                                          firstScreen ? -1 : started->count));
    m_parts.status->setText(caption);
    // Before anyone hears of the view, who may start another search at once.
    m_partial = firstScreen ? currentView() : nullptr;
    m_partialChanges = m_partial ? m_partial->changeCount() : 0;
    Q_EMIT viewShown();
    return true;
}

void ViewsArea::setBackgroundSearch(bool on)
{
    if (on && !m_background) {
        m_background = new BackgroundSearch(m_register, this);
    } else if (!on && m_background) {
        delete m_background;
        m_background = nullptr;
        m_afterSearch.clear();
        m_partial.reset();
        m_window->unsetCursor();
    }
}

bool ViewsArea::isSearching() const
{
    return m_background && m_background->isBusy();
}

void ViewsArea::afterSearch(std::function<void()> then)
{
    if (isSearching())
        m_afterSearch.append(std::move(then));
    else
        then();
}

bool ViewsArea::waitForSearch(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (isSearching() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return !isSearching();
}

ViewCondition ViewsArea::SqlMade()
{
    const CombinedSearch::Made made = CombinedSearch::build(m_parts.search->criteria());
    // Show what the search used: a date that is not a date is emptied, silently.
    m_parts.search->setCriteria(made.used);
    return made.condition;
}

bool ViewsArea::SearchCommand_Click()
{
    return Search(SqlMade());
}

void ViewsArea::Clear()
{
    m_parts.search->clear();
}

bool ViewsArea::searchFor(const SearchCriteria& criteria, const QString& caption)
{
    // Every box is written, so nothing of an earlier search survives.
    m_parts.search->setCriteria(criteria);
    return Search(SqlMade(), caption);
}

void ViewsArea::AllFile_Click()
{
    Clear();
    Search(SqlMade(), QStringLiteral("系统定义查询：所有记录"));
}

void ViewsArea::MyTo_Click()
{
    Clear();
    Search(SystemViews::sentByMe(), QStringLiteral("系统定义查询：我发他收"));
}

void ViewsArea::ManToMe_Click()
{
    // The recipient stays in its box, where the user can refine the search.
    searchFor(SystemViews::receivedByMe(),
              QStringLiteral("系统定义查询：") + QStringLiteral("他发我收"));
}

void ViewsArea::MyFile_Click()
{
    searchFor(SystemViews::localDocuments(), QStringLiteral("系统定义查询：本地文档"));
}

QString ViewsArea::folderOf(const QAction* item)
{
    if (!item)
        return {};
    if (item->data().isValid())
        return item->data().toString();
    // Item 0 before any folder was listed: its caption is the folder.
    QString name;
    const QString caption = item->text();
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption.at(i) == QLatin1Char('&') && i + 1 < caption.size())
            ++i;
        name += caption.at(i);
    }
    return name;
}

void ViewsArea::FileMenu_Click(int index)
{
    const QAction* item = folderItem(index);
    if (!item)
        return;
    const QString folder = folderOf(item);
    Clear();
    Search(SystemViews::folder(folder),
           QStringLiteral("   文件夹") + QStringLiteral("：") + folder);
}

void ViewsArea::setFolderMenu(QMenu* menu)
{
    m_folderMenu = menu;
    QAction* first = menu->addAction(QStringLiteral("文件夹1"));
    first->setObjectName(folderItemName(0));
    connect(first, &QAction::triggered, this, [this] { FileMenu_Click(0); });
}

QAction* ViewsArea::folderItem(int index) const
{
    if (!m_folderMenu)
        return nullptr;
    const QString name = folderItemName(index);
    for (QAction* item : m_folderMenu->actions()) {
        if (item->objectName() == name)
            return item;
    }
    return nullptr;
}

void ViewsArea::RebuildFolderMenu()
{
    QMenu* menu = m_folderMenu;
    if (!menu)
        return;
    const Result<QList<FolderMenu::Entry>> entries = FolderMenu::load(m_register);
    if (entries) {
        // Every item but the first goes, however many there were, so no item
        // of an earlier rebuild is left naming a folder that is gone.
        const QList<QAction*> items = menu->actions();
        for (qsizetype i = 1; i < items.size(); ++i) {
            menu->removeAction(items.at(i));
            items.at(i)->setObjectName(QString());
            items.at(i)->deleteLater();
        }
        for (qsizetype i = 0; i < entries->size(); ++i) {
            const QString& folder = entries->at(i).name;
            QAction* item = i == 0 ? folderItem(0) : nullptr;
            if (!item) {
                item = new QAction(menu);
                item->setObjectName(folderItemName(static_cast<int>(i)));
                const int index = static_cast<int>(i);
                connect(item, &QAction::triggered, this, [this, index] { FileMenu_Click(index); });
                menu->addAction(item);
            }
            item->setText(captionFor(folder));
            item->setData(folder);
        }
    }
    MenuBitmaps::attachFolderPictures(menu);
}
