#include "browser/SystemViews.h"
#include "browser/gui/MshfGrid.h"
#include "browser/gui/RecordTableModel.h"
#include "browser/gui/TrolleyMSHF.h"
#include "browser/gui/ViewsArea.h"
#include "gui_support/FaceFixture.h"
#include "gui_support/MenuPicture.h"
#include "inbox/Inbox.h"
#include "intake/gui/IntakeArea.h"
#include "intake/gui/SelectFace.h"
#include "integrity/gui/CheckFace.h"
#include "operations/gui/HistoryFace.h"
#include "store/RecordStore.h"
#include "store/RegisterRecord.h"
#include "support/LegacyFixture.h"
#include "support/TestFiles.h"
#include "support/gui/Fonts.h"
#include "support/gui/MessageBox.h"
#include "support/gui/SaveDialog.h"
#include "trash/gui/BinArea.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QToolBar>

namespace {

QStringList captions(QMenu* menu)
{
    QStringList list;
    for (QAction* action : menu->actions())
        list << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return list;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void menusHaveEveryItemInOrder()
    {
        FaceFixture fixture;
        TableFace& face = fixture.face();
        QCOMPARE(face.windowTitle(), QStringLiteral("Quorvel2.0"));
        const QList<QAction*> top = face.menuBar()->actions();
        QStringList topCaptions;
        for (QAction* action : top)
            topCaptions << action->text();
        QCOMPARE(topCaptions,
                 (QStringList{QStringLiteral("文件(&F)"), QStringLiteral("查询(&C)"),
                              QStringLiteral("自定义查询(&M)"), QStringLiteral("文件夹(&W)"),
                              QStringLiteral("选项(&O)"), QStringLiteral("帮助(&H)")}));
        QCOMPARE(captions(face.fileMenu()),
                 (QStringList{QStringLiteral("打开(&O)"), QStringLiteral("删除(&D)"),
                              QStringLiteral("上移(&U)"), QStringLiteral("下移(&N)"),
                              QStringLiteral("修改记录(&A)"), QStringLiteral("另存为(&S)"),
                              QStringLiteral("发送至桌面(&T)"), QStringLiteral("历史记录"),
                              QStringLiteral("-"), QStringLiteral("导入旧登记库(&I)…"),
                              QStringLiteral("-"), QStringLiteral("退出(&X)"), QStringLiteral("-"),
                              QStringLiteral("打印…"), QStringLiteral("打印预览…"),
                              QStringLiteral("导出为 Excel 表格…")}));
        QCOMPARE(captions(face.findChild<QMenu*>(QStringLiteral("FastCx"))),
                 (QStringList{QStringLiteral("所有文件(&A)"), QStringLiteral("我发他收(&W)"),
                              QStringLiteral("他发我收(&T)"), QStringLiteral("本地文件(&M)"),
                              QStringLiteral("回收站(&R)")}));
        QCOMPARE(face.findChild<QMenu*>(QStringLiteral("DefinitionCx"))->actions().size(), 9);
        QVERIFY(face.folderMenu()->actions().size() >= 1);
        QCOMPARE(face.folderMenu()->actions().first()->objectName(), QStringLiteral("FileMenu0"));
        QCOMPARE(captions(face.findChild<QMenu*>(QStringLiteral("OptionMenuInterFace"))).first(),
                 QStringLiteral("管理自定义查询(&G)"));
        QCOMPARE(captions(face.findChild<QMenu*>(QStringLiteral("HelpMenuInterFace"))),
                 (QStringList{QStringLiteral("内容(&C)"), QStringLiteral("-"),
                              QStringLiteral("关于Quorvel")}));
        // No shortcuts beyond the access keys.
        for (QMenu* menu : face.menuBar()->findChildren<QMenu*>()) {
            for (QAction* action : menu->actions())
                QVERIFY2(action->shortcut().isEmpty(), qPrintable(action->text()));
        }
        // Record commands and help carry pictures; save as, send and exit do not.
        QVERIFY(!face.findChild<QAction*>(QStringLiteral("OpenMenuInterFace"))->icon().isNull());
        QVERIFY(!face.findChild<QAction*>(QStringLiteral("CxMenu9"))->icon().isNull());
        QVERIFY(!face.findChild<QAction*>(QStringLiteral("HelpQuorvel"))->icon().isNull());
        QVERIFY(face.findChild<QAction*>(QStringLiteral("SaveAsMenuInterFace"))->icon().isNull());
        QVERIFY(face.findChild<QAction*>(QStringLiteral("ExitMenu"))->icon().isNull());
        QVERIFY(face.findChild<QAction*>(QStringLiteral("AllFile"))->icon().isNull());
    }

    void toolbarHasFourteenButtonsWithCaptionsAndTips()
    {
        FaceFixture fixture;
        const QList<QAction*> buttons = fixture.face().Toolbar1()->actions();
        QCOMPARE(buttons.size(), 14);
        QCOMPARE(buttons.at(0)->text(), QStringLiteral("  打开  "));
        QCOMPARE(buttons.at(0)->toolTip(), QStringLiteral("打开选中的文件"));
        QCOMPARE(buttons.at(1)->text(), QStringLiteral("删除"));
        QCOMPARE(buttons.at(2)->toolTip(), QStringLiteral("文件上移"));
        QCOMPARE(buttons.at(3)->toolTip(), QStringLiteral("文件下移"));
        QCOMPARE(buttons.at(4)->text(), QStringLiteral("修改"));
        QCOMPARE(buttons.at(4)->toolTip(), QStringLiteral("修改记录"));
        for (QAction* button : buttons)
            QVERIFY(!button->icon().isNull());
        QCOMPARE(fixture.face().Toolbar1()->geometry(), QRect(0, 0, 792, 51));
    }

    void layoutFollowsTheFixedPlan()
    {
        FaceFixture fixture;
        TableFace& face = fixture.face();
        QCOMPARE(face.centralWidget()->size(), QSize(792, 533));
        QCOMPARE(face.MSHF()->geometry(), QRect(0, 72, 601, 241));
        QCOMPARE(face.searchPanel()->findChildren<QLineEdit*>().size(), 7);
        QCOMPARE(face.searchPanel()->box(6)->width(), 497);
        QCOMPARE(face.findChild<QWidget*>(QStringLiteral("Frame2"))->geometry(),
                 QRect(0, 312, 601, 217));
        QCOMPARE(face.findChild<QWidget*>(QStringLiteral("SearchCommand"))->toolTip(),
                 QStringLiteral("进行组合查询"));
        QVERIFY(
            !face.findChild<QTextBrowser*>(QStringLiteral("WebBrowser1"))->toPlainText().isEmpty());
        QVERIFY(!(face.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(face.windowFlags() & Qt::WindowMinimizeButtonHint);
    }

    // Larger desktop text grows the plan rather than cutting captions.
    void largerTextScalesTheLayout()
    {
        const QFont standard = QApplication::font();
        QFont larger = standard;
        larger.setPointSizeF(Fonts::standardPointSize * 1.5);
        QApplication::setFont(larger);
        {
            FaceFixture fixture;
            TableFace& face = fixture.face();
            face.show();
            QCOMPARE(face.centralWidget()->size(), QSize(1188, 800));
            for (QAction* button : face.Toolbar1()->actions())
                QVERIFY2(face.Toolbar1()->widgetForAction(button)->isVisible(),
                         qPrintable(button->text()));
            const QList<QLabel*> labels = face.searchPanel()->findChildren<QLabel*>();
            for (QLabel* label : labels)
                QVERIFY(label->height() >= label->fontMetrics().height() * 9 / 10);
            // The frame's caption stays above the first label.
            QVERIFY(labels.first()->y() >= face.searchPanel()->fontMetrics().height() * 3 / 4);
        }
        QApplication::setFont(standard);
    }

    void emptyRegisterShowsHeaderAndOneBlankRow()
    {
        FaceFixture fixture;
        TableFace& face = fixture.face();
        MshfGrid* grid = face.MSHF();
        QCOMPARE(face.Label13()->text(), QStringLiteral("系统定义查询：所有记录"));
        QCOMPARE(grid->Rows(), 2);
        QCOMPARE(grid->model()->columnCount(), 8);
        const QStringList expected = {QStringLiteral("发件日期"), QStringLiteral("文件名"),
                                      QStringLiteral("路径"),     QStringLiteral("备注"),
                                      QStringLiteral("接收人"),   QStringLiteral("传送方式"),
                                      QStringLiteral("文件序号"), QStringLiteral("文件夹")};
        for (int column = 0; column < 8; ++column) {
            QCOMPARE(grid->TextMatrix(0, column), expected.at(column));
            QCOMPARE(grid->TextMatrix(1, column), QString());
        }
        QVERIFY(grid->isColumnHidden(2));
        QVERIFY(grid->isColumnHidden(6));
        QVERIFY(!grid->isColumnHidden(7));
        // Proportional widths of the 601-pixel grid.
        QCOMPARE(grid->columnWidth(0), 71);
        QCOMPARE(grid->columnWidth(1), 141);
        QCOMPARE(grid->columnWidth(3), 152);
        QCOMPARE(face.binder().state(), RSTMSHF::State::Fresh);
        QCOMPARE(grid->selectionBehavior(), QAbstractItemView::SelectRows);
    }

    void binderStatesFollowWhatItIsHanded()
    {
        FaceFixture fixture(false);
        fixture.temp().addRecord(2, QStringLiteral("second.txt"));
        fixture.temp().addRecord(1, QStringLiteral("first.txt"));
        fixture.start();
        TableFace& face = fixture.face();
        QAbstractItemModelTester tester(face.MSHF()->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        RSTMSHF& binder = face.binder();
        QCOMPARE(binder.state(), RSTMSHF::State::Bound);
        QCOMPARE(face.MSHF()->Rows(), 3);
        QCOMPARE(face.MSHF()->TextMatrix(1, 1), QStringLiteral("first.txt"));

        const std::shared_ptr<ViewRst> shown = face.currentView();
        auto empty =
            std::make_shared<ViewRst>(face.registerStore(), ViewCondition{}, QList<qint64>{});
        binder.Bd(empty);
        QCOMPARE(binder.state(), RSTMSHF::State::EmptyShown);
        QCOMPARE(face.MSHF()->Rows(), 2);
        QCOMPARE(face.MSHF()->TextMatrix(1, 1), QString());
        binder.Bd(empty);
        QCOMPARE(binder.state(), RSTMSHF::State::EmptyShown);

        QCOMPARE(face.currentView(), empty);
        binder.Bd(shown);
        QCOMPARE(binder.state(), RSTMSHF::State::Bound);
        QCOMPARE(face.currentView(), shown);
        QVERIFY(face.MSHF()->isColumnHidden(2));
        QVERIFY(face.MSHF()->isColumnHidden(6));
    }

    void gridRowsAndSelectionEnds()
    {
        FaceFixture fixture(false);
        for (int i = 1; i <= 10; ++i)
            fixture.temp().addRecord(i, QStringLiteral("f%1").arg(i));
        fixture.start();
        MshfGrid* grid = fixture.face().MSHF();
        grid->selectRows(6, 3);
        QCOMPARE(grid->Row(), 6);
        QCOMPARE(grid->RowSel(), 3);
        grid->selectRows(3, 6);
        QCOMPARE(grid->RowSel(), 6);
        grid->setRow(4);
        QCOMPARE(grid->Row(), 4);
        QCOMPARE(grid->RowSel(), 4);
        QCOMPARE(grid->TextMatrix(4, 1), QStringLiteral("f4"));
    }

    void minimiseWithoutTrayKeepsTheWindowReachable()
    {
        FaceFixture fixture;
        TableFace& face = fixture.face();
        QVERIFY(face.trayIcon());
        QCOMPARE(face.trayIcon()->toolTip(), QStringLiteral("Quorvel2.0"));
        face.showMinimized();
        QTest::qWait(50);
        if (!QSystemTrayIcon::isSystemTrayAvailable())
            QVERIFY(face.isVisible());
        face.trayActivated();
        QTRY_VERIFY(face.isVisible());
        QVERIFY(!face.isMinimized());
        // A double-click arrives as a click and then a double-click: it
        // toggles the window once.
        Q_EMIT face.trayIcon()->activated(QSystemTrayIcon::Trigger);
        Q_EMIT face.trayIcon()->activated(QSystemTrayIcon::DoubleClick);
        QTRY_VERIFY(face.isMinimized() || face.isHidden());
    }

    void aboutDoesNothingAndExitCloses()
    {
        FaceFixture fixture;
        TableFace& face = fixture.face();
        fixture.trigger(QStringLiteral("AboutMenuInterFace"));
        QVERIFY(MessageBox::takeLog().isEmpty());
        QVERIFY(face.isVisible());
        auto* other = new QWidget;
        other->setAttribute(Qt::WA_DeleteOnClose);
        other->show();
        QPointer<QWidget> watch(other);
        fixture.trigger(QStringLiteral("ExitMenu"));
        QVERIFY(!face.isVisible());
        QTRY_VERIFY(watch.isNull());
    }

    // The old register's records come in behind a progress window, the
    // report names what stayed behind, and the view shows them at once.
    void importLegacyMenuAddsRecordsAndRefreshes()
    {
        QTemporaryDir dir;
        const QString old = LegacyFixture::copy(dir, QStringLiteral("odd"));
        FaceFixture fixture;
        SaveDialog::setScripted(true);
        SaveDialog::setNextAnswer(old);
        fixture.trigger(QStringLiteral("ImportLegacyMenuInterFace"));
        SaveDialog::setScripted(false);
        const QList<MessageBox::Shown> shown = MessageBox::takeLog();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().kind, MessageBox::Warning);
        QVERIFY2(shown.first().text.contains(QStringLiteral("已导入记录：8 条")),
                 qPrintable(shown.first().text));
        // What stayed behind is a list of its own, however long it runs.
        QVERIFY(!shown.first().list.isEmpty());
        QCOMPARE(fixture.face().MSHF()->model()->rowCount(), 8);
        QCOMPARE(fixture.temp().serials().size(), 8);
    }

    // The add form's records are shown at once, the view scrolled to them;
    // the folder menu follows when the form has closed.
    void registeredFilesShowAsLastRows()
    {
        QTemporaryDir sources;
        TestFiles::write(sources.filePath(QStringLiteral("a.txt")), "a");
        TestFiles::write(sources.filePath(QStringLiteral("b.txt")), "b");
        FaceFixture fixture(false);
        for (int serial = 1; serial <= 41; ++serial)
            fixture.temp().addRecord(serial, QStringLiteral("old%1.txt").arg(serial));
        fixture.start();
        TableFace& face = fixture.face();
        face.intake()->filesDropped(
            {QUrl::fromLocalFile(sources.filePath(QStringLiteral("a.txt"))),
             QUrl::fromLocalFile(sources.filePath(QStringLiteral("b.txt")))});
        QPointer<SelectFace> form = face.intake()->form();
        form->RemarksText()->setPlainText(QStringLiteral("说明"));
        form->Combo1(2)->setEditText(QStringLiteral("合同"));
        form->FixedCommand_Click();
        QTRY_VERIFY(!form);
        MshfGrid* grid = face.MSHF();
        QCOMPARE(grid->Rows(), 44);
        QCOMPARE(grid->Row(), 43);
        QCOMPARE(grid->TextMatrix(43, 1), QStringLiteral("b.txt"));
        QCOMPARE(grid->TextMatrix(43, 3), QStringLiteral("说明"));
        QCOMPARE(grid->TextMatrix(43, 7), QStringLiteral("合同"));
        // Scrolled as far down as the grid goes: the last row is in view.
        QVERIFY(grid->TopRow() > 1);
        QVERIFY(grid->visualRect(grid->model()->index(42, 1)).intersects(grid->viewport()->rect()));
        QCOMPARE(face.folderMenu()->actions().first()->text(), QStringLiteral("合同"));
    }

    // A right click on a record row pops up the file menu there; its last
    // item shows that record's history.
    void rightClickPopsUpTheFileMenu()
    {
        FaceFixture fixture(false);
        TempRegister& temp = fixture.temp();
        const qint64 a = temp.addRecord(1, QStringLiteral("a.txt"));
        const qint64 b = temp.addRecord(2, QStringLiteral("b.txt"));
        // b.txt moves up to the first row.
        QVERIFY(temp.reg().records()->swapSerials(temp.seen(a), temp.seen(b)));
        fixture.start();
        MshfGrid* grid = fixture.face().MSHF();
        QTest::mouseClick(grid->viewport(), Qt::RightButton, {},
                          grid->visualRect(grid->model()->index(0, 0)).center());
        QMenu* menu = fixture.face().fileMenu();
        QVERIFY(menu->isVisible());
        QAction* history = menu->actions().at(7);
        QCOMPARE(history->objectName(), QStringLiteral("HistoryMenuInterFace"));
        history->trigger();
        menu->hide();
        auto* window = fixture.face().findChild<HistoryFace*>(QStringLiteral("HistoryFace"));
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), QStringLiteral("历史记录 - b.txt"));
        QCOMPARE(window->table()->rowCount(), 1);
        QCOMPARE(window->table()->item(0, 2)->text(), Audit::moved);
        QCOMPARE(window->table()->item(0, 3)->text(), QStringLiteral("文件序号: 2 → 1"));
        QVERIFY(window->table()->editTriggers() == QAbstractItemView::NoEditTriggers);
        window->close();
    }

    void fixedMenuPictures()
    {
        FaceFixture fixture;
        TableFace& face = fixture.face();
        const QList<std::pair<QString, int>> pictured = {
            {QStringLiteral("OpenMenuInterFace"), 2},  {QStringLiteral("DelMenuInterFace"), 3},
            {QStringLiteral("UpMenuInterFace"), 4},    {QStringLiteral("DownMenuInterFace"), 5},
            {QStringLiteral("AlterMenuInterFace"), 6}, {QStringLiteral("HelpQuorvel"), 17},
        };
        for (const auto& [name, picture] : pictured)
            QVERIFY2(hasMenuPicture(face.findChild<QAction*>(name), picture), qPrintable(name));
        for (int slot = 1; slot <= 9; ++slot)
            QVERIFY(hasMenuPicture(face.findChild<QAction*>(QStringLiteral("CxMenu%1").arg(slot)),
                                   6 + slot));
        for (const QString& name :
             {QStringLiteral("SaveAsMenuInterFace"), QStringLiteral("TozmMenuInterFace"),
              QStringLiteral("ExitMenu"), QStringLiteral("AllFile"), QStringLiteral("MyTo"),
              QStringLiteral("ManToMe"), QStringLiteral("MyFile"),
              QStringLiteral("ManagementMenuInterFace"), QStringLiteral("AboutMenuInterFace")})
            QVERIFY2(face.findChild<QAction*>(name)->icon().isNull(), qPrintable(name));
    }

    // 备份登记库… sits before the check: into a new folder it backs up and
    // says so; a folder holding other files is refused with a warning.
    void backupMenuItemBacksUpIntoTheChosenFolder()
    {
        FaceFixture fixture(false);
        fixture.temp().addRecord(1, QStringLiteral("kept.txt"), {}, {},
                                 QStringLiteral("2020-01-02"), {}, {}, "kept");
        fixture.start();
        const QList<QAction*> items =
            fixture.face().findChild<QMenu*>(QStringLiteral("OptionMenuInterFace"))->actions();
        QCOMPARE(items.at(items.size() - 5)->objectName(), QStringLiteral("BackupMenuInterFace"));
        QTemporaryDir place;
        SaveDialog::setScripted(true);
        MessageBox::takeLog();
        SaveDialog::setNextAnswer(place.filePath(QStringLiteral("backup")));
        fixture.trigger(QStringLiteral("BackupMenuInterFace"));
        QList<MessageBox::Shown> log = MessageBox::takeLog();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log.first().kind, MessageBox::Information);
        QVERIFY2(log.first().text.contains(QStringLiteral("1 个存储副本")),
                 qPrintable(log.first().text));
        QVERIFY(QFile::exists(place.filePath(QStringLiteral("backup/随机文件/kept.txt"))));

        TestFiles::write(place.filePath(QStringLiteral("other.txt")), "mine");
        SaveDialog::setNextAnswer(place.path());
        fixture.trigger(QStringLiteral("BackupMenuInterFace"));
        log = MessageBox::takeLog();
        SaveDialog::setScripted(false);
        QCOMPARE(log.size(), 1);
        QCOMPARE(log.first().kind, MessageBox::Warning);
        QVERIFY(log.first().text.contains(QStringLiteral("不是空的")));
    }

    // The inbox's settings are the last item of 选项; while the window is
    // open it takes in what arrives, says how much and shows it.
    void inboxRunsWhileTheWindowIsOpen()
    {
        FaceFixture fixture(false);
        QTemporaryDir inbox;
        const Status set =
            Inbox::setSettings(fixture.temp().reg(), {inbox.path(), QStringLiteral("甲"), {}, {}});
        QVERIFY2(set, qPrintable(set ? QString() : set.error().fullText()));
        fixture.start();
        QAction* last = fixture.face()
                            .findChild<QMenu*>(QStringLiteral("OptionMenuInterFace"))
                            ->actions()
                            .last();
        QCOMPARE(last->objectName(), QStringLiteral("InboxMenuInterFace"));
        QCOMPARE(last->text(), QStringLiteral("收件箱设置…"));
        TestFiles::write(QDir(inbox.path()).filePath(QStringLiteral("scan.pdf")), "scan");
        QTRY_COMPARE_WITH_TIMEOUT(fixture.face().inboxStatus()->text(),
                                  QStringLiteral("收件箱：已登记 1 个文件"), 20000);
        QVERIFY(!QFile::exists(QDir(inbox.path()).filePath(QStringLiteral("scan.pdf"))));
        // The grid shows what the inbox took in.
        QTRY_COMPARE_WITH_TIMEOUT(fixture.face().MSHF()->model()->rowCount(), 1, 5000);
    }

    // The shown view goes to the chosen file (".xlsx" added), complete; an
    // existing file is replaced only when the user says so.
    void excelItemExportsTheShownView()
    {
        FaceFixture fixture(false);
        fixture.temp().addRecord(1, QStringLiteral("a.txt"), {}, QStringLiteral("收文"));
        fixture.temp().addRecord(2, QStringLiteral("b.txt"));
        fixture.start();
        QTemporaryDir place;
        const QString path = place.filePath(QStringLiteral("登记簿.xlsx"));
        SaveDialog::setScripted(true);
        MessageBox::takeLog();
        SaveDialog::setNextAnswer(place.filePath(QStringLiteral("登记簿")));
        fixture.trigger(QStringLiteral("ExcelMenuInterFace"));
        QVERIFY(MessageBox::takeLog().isEmpty());
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.read(2), QByteArray("PK"));
        const qint64 size = written.size();
        QCOMPARE(QDir(place.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

        QVERIFY(fixture.face().views()->Search(SystemViews::folder(QStringLiteral("收文"))));
        SaveDialog::setNextAnswer(path);
        MessageBox::setNextAnswer(MessageBox::No);
        fixture.trigger(QStringLiteral("ExcelMenuInterFace"));
        QCOMPARE(QFileInfo(path).size(), size);
        SaveDialog::setNextAnswer(path);
        MessageBox::setNextAnswer(MessageBox::Yes);
        fixture.trigger(QStringLiteral("ExcelMenuInterFace"));
        const QList<MessageBox::Shown> log = MessageBox::takeLog();
        SaveDialog::setScripted(false);
        QCOMPARE(log.size(), 2);
        QVERIFY(log.first().text.contains(QStringLiteral("已经存在")));
        // One record fewer: the folder view replaced the file.
        QVERIFY(QFileInfo(path).size() < size);
    }

    void checkItemInTheOptionsMenu()
    {
        FaceFixture fixture;
        QMenu* options = fixture.face().findChild<QMenu*>(QStringLiteral("OptionMenuInterFace"));
        QCOMPARE(options->title(), QStringLiteral("选项(&O)"));
        // Only the content items and the inbox came after it.
        QAction* last = options->actions().at(options->actions().size() - 4);
        QCOMPARE(last->objectName(), QStringLiteral("CheckMenuInterFace"));
        QCOMPARE(last->text(), QStringLiteral("检查登记库"));
        // Its window belongs to the main window; the item again brings up the same one.
        fixture.trigger(QStringLiteral("CheckMenuInterFace"));
        fixture.trigger(QStringLiteral("CheckMenuInterFace"));
        QCOMPARE(fixture.face().findChildren<CheckFace*>().size(), 1);
    }

    void wheelIsAttachedAtSpeedTwo()
    {
        FaceFixture fixture;
        QCOMPARE(fixture.face().Tmshf()->MouseSpeed(), 2);
    }
    // The bin lies over the grid and keeps the record commands off meanwhile.
    void binShowsRestoresAndPurges();
};

void TestMainWindow::binShowsRestoresAndPurges()
{
    FaceFixture f(false);
    for (int i = 1; i <= 3; ++i)
        f.temp().addRecord(i, QStringLiteral("f%1.txt").arg(i), QStringLiteral("张三"), {},
                           QStringLiteral("2020-01-02"), {}, QStringLiteral("Email"),
                           QStringLiteral("content %1").arg(i).toUtf8());
    f.start();
    MshfGrid* mainGrid = f.face().findChild<MshfGrid*>(QStringLiteral("MSHF"));
    const auto action = [&f](const char* name) {
        return f.face().findChild<QAction*>(QString::fromLatin1(name));
    };
    for (const int row : {3, 2}) {
        mainGrid->setRow(row);
        MessageBox::setNextAnswer(MessageBox::Yes);
        f.trigger(QStringLiteral("DelMenuInterFace"));
    }
    QCOMPARE(MessageBox::takeLog().size(), 2); // the two questions, as before
    QCOMPARE(f.temp().serials(), QList<qint64>{1});

    f.trigger(QStringLiteral("BinMenuInterFace"));
    BinArea* bin = f.face().bin();
    QTableView* grid = bin->grid();
    QVERIFY(bin->isShown());
    QVERIFY(mainGrid->isHidden());
    QVERIFY(!action("DelMenuInterFace")->isEnabled());
    QCOMPARE(f.face().findChild<QLabel*>(QStringLiteral("Label13"))->text(),
             QStringLiteral("当前显示记录为：回收站"));
    QCOMPARE(grid->model()->rowCount(), 2);
    // Serials show first: restoring from the command line takes them.
    QVERIFY(!grid->isColumnHidden(RegisterRecord::SerialColumn));
    QCOMPARE(grid->horizontalHeader()->visualIndex(RegisterRecord::SerialColumn), 0);
    // Files dropped on the bin are turned away with a word.
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(f.temp().reg().storeFolder())});
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &files, Qt::LeftButton, {});
    QCoreApplication::sendEvent(grid->viewport(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &files, Qt::LeftButton, {});
    QCoreApplication::sendEvent(grid->viewport(), &drop);
    QTRY_COMPARE(MessageBox::log().size(), 1);
    QCOMPARE(MessageBox::takeLog().first().text, BinArea::dropRefusedText);
    const int last = grid->model()->columnCount() - 1;
    QCOMPARE(grid->model()->headerData(last, Qt::Horizontal).toString(),
             QStringLiteral("删除时间"));
    QVERIFY(!grid->model()->index(0, last).data().toString().isEmpty());
    const auto rowOf = [grid](const QString& name) {
        for (int row = 0; row < grid->model()->rowCount(); ++row) {
            if (grid->model()->index(row, RegisterRecord::FileNameColumn).data() == name)
                return row;
        }
        return -1;
    };

    grid->selectRow(rowOf(QStringLiteral("f2.txt")));
    f.trigger(QStringLiteral("RestoreMenuInterFace"));
    QCOMPARE(f.temp().serials(), (QList<qint64>{1, 2}));
    QCOMPARE(TestFiles::read(f.temp().reg().storedCopyPath(QStringLiteral("f2.txt"))),
             QByteArray("content 2"));
    QList<MessageBox::Shown> log = MessageBox::takeLog();
    QCOMPARE(log.size(), 1);
    QCOMPARE(log[0].text, QStringLiteral("“f2.txt”已恢复。"));
    QCOMPARE(grid->model()->rowCount(), 1);

    // 彻底删除 asks first; No keeps it.
    grid->selectRow(0);
    f.trigger(QStringLiteral("PurgeMenuInterFace"));
    QCOMPARE(grid->model()->rowCount(), 1);
    MessageBox::setNextAnswer(MessageBox::Yes);
    f.trigger(QStringLiteral("PurgeMenuInterFace"));
    log = MessageBox::takeLog();
    QCOMPARE(log.size(), 2);
    QVERIFY(log[0].text.contains(QStringLiteral("彻底删除")));
    QCOMPARE(grid->model()->rowCount(), 0);
    QVERIFY(QDir(f.temp().reg().storeFolder() + QStringLiteral("/.回收站"))
                .entryList(QDir::Files | QDir::Hidden)
                .isEmpty());

    // Any other view brings the register back, restored record included.
    f.trigger(QStringLiteral("AllFile"));
    QVERIFY(!bin->isShown());
    QVERIFY(!mainGrid->isHidden());
    QVERIFY(action("DelMenuInterFace")->isEnabled());
    QCOMPARE(mainGrid->Rows(), 3);

    // 清空回收站 asks, then empties.
    mainGrid->setRow(1);
    MessageBox::setNextAnswer(MessageBox::Yes);
    f.trigger(QStringLiteral("DelMenuInterFace"));
    f.trigger(QStringLiteral("BinMenuInterFace"));
    QCOMPARE(grid->model()->rowCount(), 1);
    MessageBox::takeLog();
    MessageBox::setNextAnswer(MessageBox::Yes);
    f.trigger(QStringLiteral("EmptyBinMenuInterFace"));
    QVERIFY(MessageBox::takeLog().value(0).text.contains(QStringLiteral("清空回收站")));
    QCOMPARE(grid->model()->rowCount(), 0);
    QCOMPARE(f.temp().serials(), QList<qint64>{2});
}

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
