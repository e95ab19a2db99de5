#include "app/TableFace.h"

#include "backup/gui/BackupAction.h"
#include "browser/gui/MshfGrid.h"
#include "browser/gui/RecordTableModel.h"
#include "browser/gui/SearchPanel.h"
#include "browser/gui/TrolleyMSHF.h"
#include "browser/gui/ViewsArea.h"
#include "content/gui/ContentArea.h"
#include "content/gui/PreviewPane.h"
#include "inbox/InboxRunner.h"
#include "inbox/gui/InboxSettingsDialog.h"
#include "intake/gui/IntakeArea.h"
#include "integrity/gui/CheckFace.h"
#include "legacy/gui/LegacyImportAction.h"
#include "modify/gui/AlterFace.h"
#include "operations/gui/RecordOperationsArea.h"
#include "paper/gui/PaperArea.h"
#include "queries/gui/QueriesArea.h"
#include "store/RecordFields.h"
#include "store/RegisterWatch.h"
#include "support/gui/Fonts.h"
#include "support/gui/Icons.h"
#include "support/gui/MenuBitmaps.h"
#include "support/gui/MessageBox.h"
#include "trash/gui/BinArea.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QScrollBar>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include <cmath>

using Fonts::px;

namespace {

constexpr int clientWidth = 11880;
constexpr int clientHeight = 7995;

struct ToolbarButton {
    const char16_t* caption;
    const char16_t* tip;
};

const ToolbarButton toolbarButtonTexts[] = {
    {u"  打开  ", u"打开选中的文件"}, {u"删除", u"删除文件"},      {u"上移", u"文件上移"},
    {u"下移", u"文件下移"},           {u"修改", u"修改记录"},      {u"查询一", u"自定义查询1"},
    {u"查询二", u"自定义查询2"},      {u"查询三", u"自定义查询3"}, {u"查询四", u"自定义查询4"},
    {u"查询五", u"自定义查询5"},      {u"查询六", u"自定义查询6"}, {u"查询七", u"自定义查询7"},
    {u"查询八", u"自定义查询8"},      {u"查询九", u"自定义查询9"},
};

QString text(const char16_t* s)
{
    return QString::fromUtf16(s);
}

// The content word a view was searched for, if any.
QString contentTerm(const ViewCondition& condition)
{
    if (condition.kind == ViewCondition::Kind::ContentContains)
        return condition.text;
    for (const ViewCondition& side : condition.sides) {
        if (QString term = contentTerm(side); !term.isEmpty())
            return term;
    }
    return QString();
}

} // namespace

TableFace::TableFace(Register reg, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint),
      m_register(std::move(reg))
{
    Q_INIT_RESOURCE(quorvel);
    setObjectName(QStringLiteral("TableFace"));
    setWindowTitle(QStringLiteral("Quorvel2.0"));
    setWindowIcon(Icons::window());

    auto* client = new QWidget(this);
    client->setFixedSize(px(clientWidth), px(clientHeight));
    setCentralWidget(client);

    buildToolbar(client);

    m_statusLabel = new QLabel(QStringLiteral("当前显示记录为：所有记录"), client);
    m_statusLabel->setObjectName(QStringLiteral("Label13"));
    m_statusLabel->setFont(Fonts::song(12));
    // 宋体 12 pt needs a little more height than the original metrics gave it.
    m_statusLabel->setGeometry(px(2880), px(840) - Fonts::scaled(4), px(3855),
                               px(255) + Fonts::scaled(6));

    m_inboxStatus = new QLabel(client);
    m_inboxStatus->setObjectName(QStringLiteral("InboxStatus"));
    m_inboxStatus->setFont(Fonts::song(9));
    m_inboxStatus->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_inboxStatus->setGeometry(px(6780), px(840) - Fonts::scaled(4), px(2235),
                               px(255) + Fonts::scaled(6));
    m_inbox = new InboxRunner(this);
    connect(m_inbox, &InboxRunner::registered, m_inboxStatus, [this](qint64 total) {
        m_inboxStatus->setText(QStringLiteral("收件箱：已登记 %1 个文件").arg(total));
    });
    connect(m_inbox, &InboxRunner::problem, m_inboxStatus, &QLabel::setToolTip);
    // What the inbox registered is shown as others' changes are: the watch
    // takes the inbox's commits for the window's own.
    connect(m_inbox, &InboxRunner::registered, this, &TableFace::outsideChange);

    m_grid = new MshfGrid(client);
    m_grid->setObjectName(QStringLiteral("MSHF"));
    m_grid->setFont(Fonts::song(9));
    m_grid->setGeometry(px(0), px(1080), px(9015), px(3615));

    m_search = new SearchPanel(client);
    m_search->setGeometry(px(0), px(4680), px(9015), px(3255));

    m_startPage = new QTextBrowser(client);
    m_startPage->setObjectName(QStringLiteral("WebBrowser1"));
    m_startPage->setOpenExternalLinks(true);
    m_startPage->setFrameShape(QFrame::NoFrame);
    // The start page leaves the lower part of the column to the content box.
    m_startPage->setGeometry(px(9120), px(720), px(2775), px(3900));
    m_preview = new PreviewPane(m_register, client);
    m_preview->setGeometry(m_startPage->geometry());
    m_preview->hide();

    QWidget* contentPart = m_search->contentPart();
    contentPart->setGeometry(px(9120), px(4680), px(2775), px(3255));
    m_snippet = new QLabel(contentPart);
    m_snippet->setObjectName(QStringLiteral("ContentSnippet"));
    m_snippet->setTextFormat(Qt::RichText);
    m_snippet->setWordWrap(true);
    m_snippet->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_snippet->setGeometry(px(120), px(960), px(2535), px(1560));
    m_readingStatus = new QLabel(contentPart);
    m_readingStatus->setObjectName(QStringLiteral("ContentReading"));
    m_readingStatus->setWordWrap(true);
    m_readingStatus->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    m_readingStatus->setGeometry(px(120), px(2580), px(2535), px(555));
    m_content = new ContentArea(m_register, {m_snippet, m_readingStatus}, this);

    m_wheel = new TrolleyMSHF(this);

    m_views = new ViewsArea(m_register, {m_grid, m_search, m_statusLabel}, this);
    m_operations = new RecordOperationsArea(m_register, m_grid, this);
    m_intake = new IntakeArea(m_register, this);
    m_queries = new QueriesArea(m_register, this);
    m_paper = new PaperArea([this] { return m_views->currentView(); },
                            [this] { return m_statusLabel->text(); }, this);
    buildMenus();
    connectAreas();

    // The bin covers the grid; the commands on the grid's records wait meanwhile.
    QList<QAction*> recordActions = m_toolbarButtons.mid(0, 5);
    for (const char* name :
         {"OpenMenuInterFace", "DelMenuInterFace", "UpMenuInterFace", "DownMenuInterFace",
          "AlterMenuInterFace", "SaveAsMenuInterFace", "TozmMenuInterFace", "HistoryMenuInterFace"})
        recordActions << findChild<QAction*>(QString::fromLatin1(name));
    m_bin = new BinArea(m_register, m_grid, recordActions, m_statusLabel, this);
    connect(m_views, &ViewsArea::viewShown, m_bin, &BinArea::leave);
    connect(m_bin, &BinArea::restored, this, &TableFace::refreshFolderMenu);

    // The window has a fixed layout: nothing moves when it changes size.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

TableFace::~TableFace() = default;

QAction* TableFace::addMenuItem(QMenu* menu, const QString& objectName, const QString& caption)
{
    QAction* item = menu->addAction(caption);
    item->setObjectName(objectName);
    return item;
}

RSTMSHF& TableFace::binder()
{
    return m_views->binder();
}

const std::shared_ptr<ViewRst>& TableFace::currentView() const
{
    return m_views->currentView();
}

void TableFace::connectAreas()
{
    connect(m_grid, &MshfGrid::filesDropped, m_intake, &IntakeArea::filesDropped);
    connect(m_intake, &IntakeArea::saveStarted, m_views, &ViewsArea::AllFile_Click);
    connect(m_intake, &IntakeArea::registered, this, &TableFace::showRegistered);
    connect(m_intake, &IntakeArea::foldersChanged, this, &TableFace::refreshFolderMenu);

    connect(m_grid, &MshfGrid::openRequested, m_operations, &RecordOperationsArea::open);
    connect(m_grid, &MshfGrid::rightButtonPressed, m_operations,
            &RecordOperationsArea::gridRightButton);
    connect(m_operations, &RecordOperationsArea::contextMenuRequested, m_fileMenu,
            [this](const QPoint& at) { m_fileMenu->popup(at); });
    connect(m_operations, &RecordOperationsArea::foldersChanged, this,
            &TableFace::refreshFolderMenu);
    connect(m_operations, &RecordOperationsArea::modifyRequested, this, &TableFace::openModifyForm);

    connect(m_queries, &QueriesArea::searchRequested, m_views, &ViewsArea::searchFor);
    connect(m_queries, &QueriesArea::captionsRead, this, &TableFace::showQueryCaptions);

    m_outsideRetry = new QTimer(this);
    m_outsideRetry->setSingleShot(true);
    m_outsideRetry->setInterval(200);
    connect(m_outsideRetry, &QTimer::timeout, this, &TableFace::applyOutsideChange);

    // Rows passed over quickly are not read.
    m_currentContent = new QTimer(this);
    m_currentContent->setSingleShot(true);
    m_currentContent->setInterval(80);
    connect(m_currentContent, &QTimer::timeout, this, &TableFace::showCurrentContent);
    const auto currentChanged = [this] {
        m_currentContent->start();
    };
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            currentChanged);
    connect(m_grid->model(), &QAbstractItemModel::modelReset, this, currentChanged);
    connect(m_views, &ViewsArea::viewShown, this, currentChanged);
    connect(m_content, &ContentArea::readingEnded, this, currentChanged);
    connect(m_intake, &IntakeArea::registered, m_content, &ContentArea::readQueue);
}

void TableFace::showCurrentContent()
{
    m_currentContent->stop();
    const RecordTableModel* model = m_grid->recordModel();
    const int row = m_grid->Row();
    std::optional<RegisterRecord> record;
    QString term;
    if (!model->isPlaceholder()) {
        term = contentTerm(model->view()->condition());
        if (row >= 1)
            record = model->view()->record(row);
    }
    m_content->showSnippet(record ? record->rowid : 0, term);
    if (!m_previewItem->isChecked())
        return;
    if (!record) {
        m_preview->showItem(std::nullopt);
        return;
    }
    m_preview->showItem(PreviewPane::Item{
        record->rowid, m_register.storedCopyPath(record->storedName), record->fileName, term});
}

void TableFace::setPreviewShown(bool shown)
{
    m_startPage->setVisible(!shown);
    m_preview->setVisible(shown);
    if (shown)
        showCurrentContent();
    else
        m_preview->showItem(std::nullopt);
}

void TableFace::showOcrSetting()
{
    if (Result<bool> ocr = m_content->ocrEnabled()) {
        const QSignalBlocker blocker(m_ocrItem);
        m_ocrItem->setChecked(ocr.value());
    }
}

void TableFace::setOcr(bool on)
{
    if (Status set = m_content->setOcrEnabled(on); !set) {
        const QSignalBlocker blocker(m_ocrItem);
        m_ocrItem->setChecked(!on);
        MessageBox::warning(this, QStringLiteral("无法更改文字识别设置：") + set.error().message);
    }
}

void TableFace::outsideChange()
{
    m_outsideChange = true;
    applyOutsideChange();
}

void TableFace::applyOutsideChange()
{
    if (!m_outsideChange)
        return;
    // A dialog or menu may act on the rows it was opened on, a search may be
    // on its way and a hidden window needs nothing yet: later, then, once.
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget() ||
        m_views->isSearching() || !isVisible() || isMinimized()) {
        m_outsideRetry->start();
        return;
    }
    m_outsideChange = false;
    // Others may have registered copies to read, or switched recognition.
    showOcrSetting();
    m_content->readQueue();
    m_views->refresh();
    m_bin->refresh();
    refreshFolderMenu();
    m_queries->RefreshCxCaptions();
}

void TableFace::refreshFolderMenu()
{
    m_views->RebuildFolderMenu();
}

void TableFace::openModifyForm(const QList<SeenRecord>& records)
{
    auto* form = new AlterFace(m_register, records, this);
    connect(form, &AlterFace::changed, m_operations, &RecordOperationsArea::showChanged);
    connect(form, &AlterFace::foldersChanged, this, &TableFace::refreshFolderMenu);
    form->showModal();
}

void TableFace::showRegistered()
{
    m_views->SearchCommand_Click();
    // The new records are last; the view may still be loading in the background.
    m_views->afterSearch([this] {
        const int last = m_grid->Rows() - 1;
        m_grid->setRow(last);
        m_grid->setTopRow(last);
    });
}

void TableFace::showQueryCaptions(const QList<QuerySlot>& slots)
{
    for (const QuerySlot& slot : slots) {
        if (QAction* item = queryItem(slot.number))
            item->setText(slot.name);
        if (QAction* button = queryButton(slot.number)) {
            button->setToolTip(slot.name);
            button->setText(slot.title);
        }
    }
}

void TableFace::importLegacy()
{
    if (!importLegacyRegister(this, m_register))
        return;
    refreshFolderMenu();
    m_views->AllFile_Click();
    m_content->readQueue();
}

void TableFace::buildMenus()
{
    QMenuBar* bar = menuBar();
    auto addTop = [bar](const QString& objectName, const QString& caption) {
        QMenu* menu = bar->addMenu(caption);
        menu->setObjectName(objectName);
        menu->menuAction()->setObjectName(objectName + QStringLiteral("Action"));
        return menu;
    };

    QMenu* file = m_fileMenu =
        addTop(QStringLiteral("FileMenuInterFace"), QStringLiteral("文件(&F)"));
    connect(addMenuItem(file, QStringLiteral("OpenMenuInterFace"), QStringLiteral("打开(&O)")),
            &QAction::triggered, m_operations, &RecordOperationsArea::openFromCommand);
    connect(addMenuItem(file, QStringLiteral("DelMenuInterFace"), QStringLiteral("删除(&D)")),
            &QAction::triggered, m_operations, &RecordOperationsArea::deleteRecord);
    connect(addMenuItem(file, QStringLiteral("UpMenuInterFace"), QStringLiteral("上移(&U)")),
            &QAction::triggered, m_operations, &RecordOperationsArea::moveUp);
    connect(addMenuItem(file, QStringLiteral("DownMenuInterFace"), QStringLiteral("下移(&N)")),
            &QAction::triggered, m_operations, &RecordOperationsArea::moveDown);
    connect(addMenuItem(file, QStringLiteral("AlterMenuInterFace"), QStringLiteral("修改记录(&A)")),
            &QAction::triggered, m_operations, &RecordOperationsArea::modify);
    connect(addMenuItem(file, QStringLiteral("SaveAsMenuInterFace"), QStringLiteral("另存为(&S)")),
            &QAction::triggered, m_operations, &RecordOperationsArea::saveAs);
    connect(
        addMenuItem(file, QStringLiteral("TozmMenuInterFace"), QStringLiteral("发送至桌面(&T)")),
        &QAction::triggered, m_operations, &RecordOperationsArea::sendToDesktop);
    // Record commands join the others above the lines; the paper items
    // come last, after 退出.
    connect(addMenuItem(file, QStringLiteral("HistoryMenuInterFace"), QStringLiteral("历史记录")),
            &QAction::triggered, m_operations, &RecordOperationsArea::showHistory);
    file->addSeparator()->setObjectName(QStringLiteral("ImportLine"));
    connect(addMenuItem(file, QStringLiteral("ImportLegacyMenuInterFace"),
                        QStringLiteral("导入旧登记库(&I)…")),
            &QAction::triggered, this, &TableFace::importLegacy);
    file->addSeparator()->setObjectName(QStringLiteral("mnuTrayLine"));
    connect(addMenuItem(file, QStringLiteral("ExitMenu"), QStringLiteral("退出(&X)")),
            &QAction::triggered, this, &QWidget::close);
    file->addSeparator()->setObjectName(QStringLiteral("PaperLine"));
    connect(addMenuItem(file, QStringLiteral("PrintMenuInterFace"), QStringLiteral("打印…")),
            &QAction::triggered, m_paper, &PaperArea::print);
    connect(
        addMenuItem(file, QStringLiteral("PrintPreviewMenuInterFace"), QStringLiteral("打印预览…")),
        &QAction::triggered, m_paper, &PaperArea::preview);
    connect(addMenuItem(file, QStringLiteral("ExcelMenuInterFace"),
                        QStringLiteral("导出为 Excel 表格…")),
            &QAction::triggered, m_paper, &PaperArea::exportWorkbook);

    QMenu* fast = addTop(QStringLiteral("FastCx"), QStringLiteral("查询(&C)"));
    connect(addMenuItem(fast, QStringLiteral("AllFile"), QStringLiteral("所有文件(&A)")),
            &QAction::triggered, m_views, &ViewsArea::AllFile_Click);
    connect(addMenuItem(fast, QStringLiteral("MyTo"), QStringLiteral("我发他收(&W)")),
            &QAction::triggered, m_views, &ViewsArea::MyTo_Click);
    connect(addMenuItem(fast, QStringLiteral("ManToMe"), QStringLiteral("他发我收(&T)")),
            &QAction::triggered, m_views, &ViewsArea::ManToMe_Click);
    connect(addMenuItem(fast, QStringLiteral("MyFile"), QStringLiteral("本地文件(&M)")),
            &QAction::triggered, m_views, &ViewsArea::MyFile_Click);
    connect(addMenuItem(fast, QStringLiteral("BinMenuInterFace"), QStringLiteral("回收站(&R)")),
            &QAction::triggered, this, [this] { m_bin->show(); });

    m_queryMenu = addTop(QStringLiteral("DefinitionCx"), QStringLiteral("自定义查询(&M)"));
    for (int slot = 1; slot <= 9; ++slot) {
        QAction* item = addMenuItem(m_queryMenu, QStringLiteral("CxMenu%1").arg(slot),
                                    QStringLiteral("查询%1").arg(slot));
        connect(item, &QAction::triggered, this, [this, slot] { m_queries->CxMenu_Click(slot); });
        m_queryItems.append(item);
    }

    m_folderMenu = addTop(QStringLiteral("OpenFile"), QStringLiteral("文件夹(&W)"));
    m_views->setFolderMenu(m_folderMenu);

    QMenu* options = addTop(QStringLiteral("OptionMenuInterFace"), QStringLiteral("选项(&O)"));
    connect(addMenuItem(options, QStringLiteral("ManagementMenuInterFace"),
                        QStringLiteral("管理自定义查询(&G)")),
            &QAction::triggered, m_queries, &QueriesArea::openManager);
    connect(
        addMenuItem(options, QStringLiteral("BackupMenuInterFace"), QStringLiteral("备份登记库…")),
        &QAction::triggered, this, [this] { backupRegister(this, m_register); });
    connect(
        addMenuItem(options, QStringLiteral("CheckMenuInterFace"), QStringLiteral("检查登记库")),
        &QAction::triggered, this, [this] { CheckFace::showFor(this, m_register); });
    m_previewItem = addMenuItem(options, QStringLiteral("PreviewMenuInterFace"),
                                QStringLiteral("显示预览窗格"));
    m_previewItem->setCheckable(true);
    connect(m_previewItem, &QAction::toggled, this, &TableFace::setPreviewShown);
    m_ocrItem = addMenuItem(options, QStringLiteral("OcrMenuInterFace"),
                            QStringLiteral("识别图片中的文字"));
    m_ocrItem->setCheckable(true);
    connect(m_ocrItem, &QAction::triggered, this, &TableFace::setOcr);
    connect(
        addMenuItem(options, QStringLiteral("InboxMenuInterFace"), QStringLiteral("收件箱设置…")),
        &QAction::triggered, this, [this] {
            if (InboxSettingsDialog::edit(this, m_register))
                m_inbox->restart(m_register);
        });

    QMenu* help = m_helpMenu =
        addTop(QStringLiteral("HelpMenuInterFace"), QStringLiteral("帮助(&H)"));
    connect(addMenuItem(help, QStringLiteral("HelpQuorvel"), QStringLiteral("内容(&C)")),
            &QAction::triggered, this, &TableFace::showHelp);
    help->addSeparator()->setObjectName(QStringLiteral("XHMenu"));
    // "About" is present but, as before, does nothing.
    addMenuItem(help, QStringLiteral("AboutMenuInterFace"), QStringLiteral("关于Quorvel"));
}

void TableFace::buildToolbar(QWidget* client)
{
    m_toolbar = new QToolBar(client);
    m_toolbar->setObjectName(QStringLiteral("Toolbar1"));
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolbar->setIconSize(QSize(Fonts::scaled(24), Fonts::scaled(24)));
    m_toolbar->setGeometry(0, 0, px(clientWidth), px(765));
    m_toolbar->setFont(Fonts::ui(9));
    for (int n = 1; n <= 14; ++n) {
        const ToolbarButton& texts = toolbarButtonTexts[n - 1];
        QAction* button = m_toolbar->addAction(Icons::toolbarButton(n), text(texts.caption));
        button->setObjectName(QStringLiteral("Toolbar1Button%1").arg(n));
        button->setToolTip(text(texts.tip));
        connect(button, &QAction::triggered, this, [this, n] { toolbarButtonClicked(n); });
        m_toolbarButtons.append(button);
        if (QWidget* widget = m_toolbar->widgetForAction(button))
            widget->setMinimumWidth(px(clientWidth) / 14 - 2);
    }
}

void TableFace::buildTray()
{
    if (m_tray)
        return;
    m_tray = new QSystemTrayIcon(windowIcon(), this);
    m_tray->setObjectName(QStringLiteral("TubrTray1"));
    m_tray->setToolTip(QStringLiteral("Quorvel2.0"));
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // A double-click sends Trigger first: answering both would
                // show and hide the window at once.
                if (reason == QSystemTrayIcon::Trigger)
                    trayActivated();
            });
    m_tray->show();
}

void TableFace::MshfFormat()
{
    // Proportional widths of the grid's own width; halves round to even.
    const double width = m_grid->width();
    int parts = 0;
    int rest = -1;
    for (const RecordFields::Field& field : RecordFields::all()) {
        if (field.gridWidth == RecordFields::restOfGrid) {
            rest = field.gridColumn;
            continue;
        }
        parts += field.gridWidth;
        const int columnWidth = static_cast<int>(std::nearbyint(width * field.gridWidth / 8500.0));
        if (columnWidth == 0)
            m_grid->setColumnHidden(field.gridColumn, true);
        else
            m_grid->setColumnWidth(field.gridColumn, columnWidth);
    }
    // The last column takes what the others leave, so no scroll bar appears
    // for a column that only overflows by a few pixels.
    const int used = static_cast<int>(std::nearbyint(width * parts / 8500.0));
    m_grid->setColumnWidth(rest,
                           std::max(60, static_cast<int>(width) - used -
                                            m_grid->verticalScrollBar()->sizeHint().width() - 2));
    m_grid->selectRows(1, 1);
}

void TableFace::startUp()
{
    // Before anything is read, so that no change falls between the reading
    // and the watching.
    if (!m_watch) {
        m_watch = new RegisterWatch(m_register, this);
        connect(m_watch, &RegisterWatch::changed, this, &TableFace::outsideChange);
    }
    buildTray();
    m_wheel->Attach(m_grid);
    m_wheel->setMouseSpeed(2);
    m_views->binder().Attach(m_grid);
    MshfFormat();
    m_views->RebuildFolderMenu();
    m_queries->RefreshCxCaptions();
    m_views->AllFile_Click();
    showOcrSetting();
    m_content->readQueue();
    m_inbox->restart(m_register);
    show();
    QCoreApplication::processEvents();
    MenuBitmaps::attachFixed(m_fileMenu, m_queryMenu, m_helpMenu);
    m_startPage->setSource(QUrl(QStringLiteral("qrc:/pages/start.html")));
}

void TableFace::toolbarButtonClicked(int n)
{
    switch (n) {
    case 1:
        m_operations->openFromCommand();
        break;
    case 2:
        m_operations->deleteRecord();
        break;
    case 3:
        m_operations->moveUp();
        break;
    case 4:
        m_operations->moveDown();
        break;
    case 5:
        m_operations->modify();
        break;
    default:
        m_queries->CxMenu_Click(n - 5);
        break;
    }
}

void TableFace::trayActivated()
{
    if (isMinimized() || isHidden()) {
        showNormal();
        raise();
        activateWindow();
    } else {
        showMinimized();
        // Hidden only where the tray icon can bring it back.
        if (m_tray && m_tray->isVisible() && QSystemTrayIcon::isSystemTrayAvailable())
            hide();
    }
}

void TableFace::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isMinimized())
        return;
    // A hidden window without a tray icon could never be brought back.
    if (m_tray && m_tray->isVisible() && QSystemTrayIcon::isSystemTrayAvailable())
        QTimer::singleShot(0, this, [this] {
            if (isMinimized())
                hide();
        });
}

void TableFace::closeEvent(QCloseEvent* event)
{
    if (m_tray)
        m_tray->hide();
    m_content->stopReading();
    m_inbox->stop();
    // Closing the main window ends the program with every other form.
    const QList<QWidget*> windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (window != this && window->isVisible())
            window->close();
    }
    event->accept();
    QCoreApplication::quit();
}

void TableFace::showHelp()
{
    // The help page ships inside the program; the desktop's browser needs it
    // as a file, so it is written out to the cache folder first.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    QDir().mkpath(folder);
    const QString target = QDir(folder).filePath(QStringLiteral("help.html"));
    QFile::remove(target);
    if (QFile::copy(QStringLiteral(":/pages/help.html"), target)) {
        QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QDesktopServices::openUrl(QUrl::fromLocalFile(target));
    }
}
