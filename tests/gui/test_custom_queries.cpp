#include "browser/gui/ViewsArea.h"
#include "gui_support/FaceFixture.h"
#include "gui_support/GridFixture.h"
#include "queries/QuerySlots.h"
#include "queries/gui/ManagementCx.h"
#include "queries/gui/QueriesArea.h"
#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "support/gui/MessageBox.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTest>

namespace {

const QString table = Sql::identifier(RegisterNames::queryTable);

void exec(const Register& reg, const QString& sql)
{
    Result<QSqlQuery> done = Sql::run(reg.database(), sql);
    if (!done)
        QFAIL(qPrintable(done.error().fullText()));
}

QStringList dump(const Register& reg)
{
    Result<QSqlQuery> query =
        Sql::run(reg.database(), QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(table));
    QStringList rows;
    while (query && query->next()) {
        QStringList fields;
        for (int c = 0; c < 9; ++c)
            fields << query->value(c).toString();
        rows << fields.join(QLatin1Char('|'));
    }
    return rows;
}

// Three records that the slots below tell apart.
void addRecords(TempRegister& temp)
{
    temp.addRecord(1, QStringLiteral("报告.doc"), QStringLiteral("张三"), QStringLiteral("项目"),
                   QStringLiteral("2020-01-02"), QStringLiteral("第一版"), QStringLiteral("Email"));
    temp.addRecord(2, QStringLiteral("合同.pdf"), QStringLiteral("自己"), QStringLiteral("合同"),
                   QStringLiteral("2021-06-01"), QStringLiteral("QQ收到"), QStringLiteral("QQ"));
    temp.addRecord(3, QStringLiteral("草稿.txt"), QStringLiteral("本地文档"),
                   QStringLiteral("项目"), QStringLiteral("2022-03-04"), QString(), QString());
}

void define(TempRegister& temp, int slot, const QString& name, int box, const QString& value)
{
    QueryDefinition definition{name, QStringLiteral("题"), {}};
    if (box >= 0)
        definition.criteria.box(box) = value;
    QVERIFY(QuerySlots::save(temp.reg(), slot, definition).ok());
}

QList<MessageBox::Shown> messagesOf(MessageBox::Kind kind, const QList<MessageBox::Shown>& log)
{
    QList<MessageBox::Shown> found;
    for (const MessageBox::Shown& shown : log) {
        if (shown.kind == kind)
            found << shown;
    }
    return found;
}

// A definitions form of its own, as the main window opens it.
ManagementCx* ownManager(GridFixture& fixture)
{
    auto* form = new ManagementCx(fixture.temp().reg(), fixture.window());
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->show();
    return form;
}

int managerCount()
{
    int count = 0;
    for (QWidget* window : QApplication::topLevelWidgets())
        count += window->objectName() == QLatin1String("ManagementCx") ? 1 : 0;
    return count;
}

} // namespace

class TestCustomQueries : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { MessageBox::takeLog(); }

    void buttonsAndMenuItemsRunTheirSlots_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<int>("slot");
        QTest::addColumn<int>("box");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("records");
        // Box 5 is the remark word, box 2 the transfer method.
        QTest::newRow("button 6 runs slot 1") << "Toolbar1Button6" << 1 << 5 << "第一版" << 1;
        QTest::newRow("button 14 runs slot 9") << "Toolbar1Button14" << 9 << 2 << "QQ" << 1;
        QTest::newRow("menu item 4 runs slot 4") << "CxMenu4" << 4 << 6 << "项目" << 2;
        QTest::newRow("own name, no criteria") << "CxMenu7" << 7 << -1 << "" << 3;
    }
    void buttonsAndMenuItemsRunTheirSlots()
    {
        QFETCH(QString, trigger);
        QFETCH(int, slot);
        QFETCH(int, box);
        QFETCH(QString, value);
        QFETCH(int, records);
        FaceFixture fixture(false);
        addRecords(fixture.temp());
        define(fixture.temp(), slot, QStringLiteral("我的查询"), box, value);
        fixture.start();
        // Whatever an earlier search left in the boxes is replaced.
        for (int i = 0; i < SearchCriteria::BoxCount; ++i)
            fixture.face().searchPanel()->box(i)->setText(QStringLiteral("旧"));

        fixture.trigger(trigger);
        QCOMPARE(fixture.face().Label13()->text(),
                 QStringLiteral("自定义查询%1：我的查询").arg(slot));
        QCOMPARE(fixture.face().currentView()->recordCount(), records);
        for (int i = 0; i < SearchCriteria::BoxCount; ++i)
            QCOMPARE(fixture.face().searchPanel()->box(i)->text(), i == box ? value : QString());
        QVERIFY(MessageBox::takeLog().isEmpty());
    }

    void emptySlotAsksFirst()
    {
        FaceFixture fixture(false);
        addRecords(fixture.temp());
        fixture.start();
        fixture.face().searchPanel()->box(0)->setText(QStringLiteral("报告"));
        fixture.face().views()->SearchCommand_Click();
        const std::shared_ptr<ViewRst> view = fixture.face().currentView();
        const QString label = fixture.face().Label13()->text();

        // Yes: the form opens without blocking, the view stays.
        MessageBox::setNextAnswer(MessageBox::Yes);
        fixture.trigger(QStringLiteral("Toolbar1Button8"));
        QList<MessageBox::Shown> log = MessageBox::takeLog();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log.first().kind, MessageBox::Question);
        QCOMPARE(log.first().text, QStringLiteral("你还未设置该自定义查询，是否现在设置？"));
        QCOMPARE(log.first().caption, QStringLiteral("警告"));
        ManagementCx* form = fixture.face().queries()->manager();
        QVERIFY(form && form->isVisible());
        QCOMPARE(form->windowModality(), Qt::NonModal);
        QCOMPARE(form->selectedSlot(), 1);
        QCOMPARE(fixture.face().currentView(), view);
        QCOMPARE(fixture.face().Label13()->text(), label);
        QCOMPARE(fixture.face().searchPanel()->box(0)->text(), QStringLiteral("报告"));

        // The options menu brings the open form to the front, keeping its slot.
        form->selectSlot(5);
        fixture.trigger(QStringLiteral("ManagementMenuInterFace"));
        QCOMPARE(fixture.face().queries()->manager(), form);
        QCOMPARE(managerCount(), 1);
        QCOMPARE(form->selectedSlot(), 5);
        // So does a second Yes.
        MessageBox::setNextAnswer(MessageBox::Yes);
        fixture.trigger(QStringLiteral("CxMenu3"));
        QCOMPARE(managerCount(), 1);
        form->close();
        QTRY_VERIFY(!fixture.face().queries()->manager());

        // No: the slot runs and shows every record.
        MessageBox::takeLog();
        MessageBox::setNextAnswer(MessageBox::No);
        fixture.trigger(QStringLiteral("Toolbar1Button8"));
        QCOMPARE(messagesOf(MessageBox::Question, MessageBox::takeLog()).size(), 1);
        QCOMPARE(fixture.face().Label13()->text(), QStringLiteral("自定义查询3：自定义查询3"));
        QCOMPARE(fixture.face().currentView()->recordCount(), 3);
        QCOMPARE(fixture.face().searchPanel()->box(0)->text(), QString());
    }

    void definedSlotUnderDefaultNameRunsWithoutAsking()
    {
        FaceFixture fixture(false);
        addRecords(fixture.temp());
        define(fixture.temp(), 2, QStringLiteral("自定义查询2"), SearchCriteria::Recipient,
               QStringLiteral("自己"));
        fixture.start();
        fixture.trigger(QStringLiteral("CxMenu2"));
        QVERIFY(MessageBox::takeLog().isEmpty());
        QCOMPARE(fixture.face().currentView()->recordCount(), 1);
        QCOMPARE(fixture.face().Label13()->text(), QStringLiteral("自定义查询2：自定义查询2"));
    }

    void storedInvalidDateIsDroppedFromTheRun()
    {
        FaceFixture fixture(false);
        addRecords(fixture.temp());
        QueryDefinition definition{QStringLiteral("项目以后"), QString(), {}};
        definition.criteria.earliest = QStringLiteral("不是日期");
        definition.criteria.latest = QStringLiteral("2021-12-31");
        definition.criteria.folder = QStringLiteral("项目");
        QVERIFY(QuerySlots::save(fixture.temp().reg(), 6, definition).ok());
        fixture.start();
        fixture.trigger(QStringLiteral("Toolbar1Button11"));
        QCOMPARE(fixture.face().currentView()->recordCount(), 1);
        QCOMPARE(fixture.face().searchPanel()->box(SearchCriteria::Earliest)->text(), QString());
        QCOMPARE(fixture.face().searchPanel()->box(SearchCriteria::Latest)->text(),
                 QStringLiteral("2021-12-31"));
        // The definition itself is untouched.
        QCOMPARE(QuerySlots::read(fixture.temp().reg(), 6)->criteria.earliest,
                 QStringLiteral("不是日期"));
    }

    void formSavesAndRefreshesEveryCaption()
    {
        FaceFixture fixture;
        fixture.trigger(QStringLiteral("ManagementMenuInterFace"));
        ManagementCx* form = fixture.face().queries()->manager();
        QVERIFY(form && form->isVisible());
        QCOMPARE(form->windowModality(), Qt::ApplicationModal);
        QCOMPARE(form->windowTitle(), QStringLiteral("管理自定义查询"));
        QCOMPARE(form->Label1()->text(), QStringLiteral("管理自定义查询1"));

        // Slot 8 changed behind the form's back shows after any save.
        exec(fixture.temp().reg(),
             QStringLiteral("UPDATE %1 SET 查询名称 = '别处改的', 工具条标题 = '别处' "
                            "WHERE rowid = 8")
                 .arg(table));

        form->selectSlot(2);
        QCOMPARE(form->Label1()->text(), QStringLiteral("管理自定义查询2"));
        const QList<QLineEdit*>& boxes = form->SearchText();
        boxes.at(7)->setText(QStringLiteral("合同文件"));
        boxes.at(8)->setText(QStringLiteral("合同文件夹"));
        boxes.at(2)->setText(QStringLiteral("备注词"));
        boxes.at(5)->setText(QStringLiteral("QQ"));
        QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("FixedCommand")),
                          Qt::LeftButton);

        const QList<MessageBox::Shown> log = MessageBox::takeLog();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log.first().kind, MessageBox::Information);
        QCOMPARE(log.first().text, QStringLiteral("自定义查询2修改成功!"));
        QCOMPARE(log.first().caption, QStringLiteral("提示"));
        // The title box shows the stored, cut title.
        QCOMPARE(boxes.at(8)->text(), QStringLiteral("合同文件"));
        const QuerySlot stored = QuerySlots::read(fixture.temp().reg(), 2).value();
        QCOMPARE(stored.criteria.remark, QStringLiteral("备注词"));
        QCOMPARE(stored.criteria.method, QStringLiteral("QQ"));
        QCOMPARE(form->MSHFlexGrid1()->item(1, 1)->text(), QStringLiteral("合同文件"));

        for (int slot = 1; slot <= 9; ++slot) {
            const QuerySlot expected = QuerySlots::read(fixture.temp().reg(), slot).value();
            QCOMPARE(fixture.face().queryItem(slot)->text(), expected.name);
            QCOMPARE(fixture.face().queryButton(slot)->toolTip(), expected.name);
            QCOMPARE(fixture.face().queryButton(slot)->text(), expected.title);
        }
        QCOMPARE(fixture.face().queryItem(8)->text(), QStringLiteral("别处改的"));
        QCOMPARE(fixture.face().queryButton(2)->text(), QStringLiteral("合同文件"));

        // A blank title is stored as one space and shown as an empty box.
        boxes.at(8)->clear();
        form->FixedCommand_Click();
        QCOMPARE(QuerySlots::read(fixture.temp().reg(), 2)->title, QStringLiteral(" "));
        QCOMPARE(boxes.at(8)->text(), QString());
        QCOMPARE(fixture.face().queryButton(2)->text(), QStringLiteral(" "));
        MessageBox::takeLog();

        // Esc closes the form.
        QTest::keyClick(form, Qt::Key_Escape);
        QTRY_VERIFY(!fixture.face().queries()->manager());
    }

    void emptyNameChangesNothing()
    {
        GridFixture fixture(false);
        ManagementCx* form = ownManager(fixture);
        QSignalSpy saved(form, &ManagementCx::saved);
        const QStringList before = dump(fixture.temp().reg());
        form->SearchText().at(7)->clear();
        form->SearchText().at(8)->setText(QStringLiteral("新"));
        form->FixedCommand_Click();
        const QList<MessageBox::Shown> log = MessageBox::takeLog();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log.first().kind, MessageBox::Warning);
        QCOMPARE(log.first().text, QStringLiteral("名称不能为空"));
        QCOMPARE(log.first().caption, QStringLiteral("警告"));
        QCOMPARE(dump(fixture.temp().reg()), before);
        QVERIFY(saved.isEmpty());
    }

    void clearKeepsTitleAndAsksFirst()
    {
        GridFixture fixture(false);
        define(fixture.temp(), 4, QStringLiteral("合同"), SearchCriteria::Folder,
               QStringLiteral("合同"));
        ManagementCx* form = ownManager(fixture);
        QSignalSpy saved(form, &ManagementCx::saved);
        form->selectSlot(4);
        QCOMPARE(form->SearchText().at(6)->text(), QStringLiteral("合同"));

        MessageBox::setNextAnswer(MessageBox::No);
        form->Command1_Click();
        QCOMPARE(MessageBox::takeLog().size(), 1);
        QVERIFY(!QuerySlots::read(fixture.temp().reg(), 4)->isEmptySlot());
        QVERIFY(saved.isEmpty());

        MessageBox::setNextAnswer(MessageBox::Yes);
        form->Command1_Click();
        const QList<MessageBox::Shown> log = MessageBox::takeLog();
        QCOMPARE(log.size(), 2);
        QCOMPARE(log.at(0).text, QStringLiteral("清空该查询项目？"));
        QCOMPARE(log.at(1).text, QStringLiteral("自定义查询4修改成功!"));
        const QuerySlot slot = QuerySlots::read(fixture.temp().reg(), 4).value();
        QVERIFY(slot.isEmptySlot());
        QCOMPARE(slot.title, QStringLiteral("题"));
        QCOMPARE(form->SearchText().at(7)->text(), QStringLiteral("自定义查询4"));
        QCOMPARE(form->SearchText().at(6)->text(), QString());
        QCOMPARE(form->SearchText().at(8)->text(), QStringLiteral("题"));
        QCOMPARE(saved.size(), 1);
    }

    void failedSaveIsReportedNotPraised()
    {
        GridFixture fixture(false);
        exec(fixture.temp().reg(), QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON %1 "
                                                  "BEGIN SELECT RAISE(ABORT, 'refused'); END")
                                       .arg(table));
        ManagementCx* form = ownManager(fixture);
        QSignalSpy saved(form, &ManagementCx::saved);
        form->SearchText().at(7)->setText(QStringLiteral("新名字"));
        form->FixedCommand_Click();
        QList<MessageBox::Shown> log = MessageBox::takeLog();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log.first().kind, MessageBox::Warning);
        QVERIFY2(log.first().text.startsWith(QStringLiteral("自定义查询1保存失败")),
                 qPrintable(log.first().text));
        // The typing stays; the captions are not told of a save.
        QCOMPARE(form->SearchText().at(7)->text(), QStringLiteral("新名字"));
        QVERIFY(saved.isEmpty());

        MessageBox::setNextAnswer(MessageBox::Yes);
        form->Command1_Click();
        log = MessageBox::takeLog();
        QCOMPARE(messagesOf(MessageBox::Information, log).size(), 0);
        QCOMPARE(messagesOf(MessageBox::Warning, log).size(), 1);
        QVERIFY(saved.isEmpty());
    }

    void slotListHighlightsTheSelectedSlot()
    {
        GridFixture fixture(false);
        ManagementCx* form = ownManager(fixture);
        QTableWidget* grid = form->MSHFlexGrid1();
        QCOMPARE(grid->rowCount(), 9);
        QCOMPARE(grid->columnCount(), 2);
        // Clicking the icon selects its row and makes the name cell current.
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->visualRect(grid->model()->index(6, 0)).center());
        QCOMPARE(grid->currentRow(), 6);
        QCOMPARE(grid->currentColumn(), 1);
        // Making the name current does not scroll the icons partly out of view.
        QVERIFY(grid->viewport()->rect().contains(grid->visualRect(grid->model()->index(6, 0))));
        QCOMPARE(form->Label1()->text(), QStringLiteral("管理自定义查询7"));
        QCOMPARE(form->SearchText().at(7)->text(), QStringLiteral("自定义查询7"));
        const QColor highlight = form->palette().color(QPalette::Highlight);
        for (int row = 0; row < 9; ++row) {
            QCOMPARE(grid->item(row, 1)->background().color() == highlight, row == 6);
            QCOMPARE(grid->item(row, 1)->text(), QuerySlots::defaultName(row + 1));
        }
        // Moving on drops unsaved typing.
        form->SearchText().at(0)->setText(QStringLiteral("未保存"));
        form->selectSlot(1);
        form->selectSlot(7);
        QCOMPARE(form->SearchText().at(0)->text(), QString());
    }

    void startUpRepairsTheQueryTable()
    {
        FaceFixture fixture(false);
        const Register& reg = fixture.temp().reg();
        exec(reg, QStringLiteral("DROP TABLE %1").arg(table));
        exec(reg, QStringLiteral("CREATE TABLE %1 (查询名称 TEXT, 工具条标题 TEXT, "
                                 "全部或部分文件名 TEXT, 全部或部分接收人名 TEXT, "
                                 "备注中的一个词 TEXT, 最早发件日期 TEXT, 最晚发件日期 TEXT, "
                                 "传送方式 TEXT, 全部或部分文件夹名 TEXT)")
                      .arg(table));
        exec(reg, QStringLiteral("INSERT INTO %1 (查询名称, 传送方式) VALUES ('甲', 'QQ'), "
                                 "('自定义查询2', NULL)")
                      .arg(table));
        fixture.start();
        QVERIFY(MessageBox::takeLog().isEmpty());
        QCOMPARE(QuerySlots::readAll(reg)->size(), 9);
        QVERIFY(!QuerySlots::needsRepair(reg).value());
        QCOMPARE(fixture.face().findChild<QAction*>(QStringLiteral("CxMenu1"))->text(),
                 QStringLiteral("甲"));
        QCOMPARE(fixture.face().findChild<QAction*>(QStringLiteral("CxMenu9"))->text(),
                 QStringLiteral("自定义查询9"));
        QCOMPARE(fixture.face().queryButton(9)->text(), QStringLiteral("查询九"));
        // The repaired slot 2 is an empty slot again.
        fixture.trigger(QStringLiteral("CxMenu2"));
        QCOMPARE(messagesOf(MessageBox::Question, MessageBox::takeLog()).size(), 1);
    }

    void unrepairableTableIsReportedNotFatal()
    {
        FaceFixture fixture(false);
        const Register& reg = fixture.temp().reg();
        exec(reg, QStringLiteral("DELETE FROM %1 WHERE rowid > 6").arg(table));
        exec(reg, QStringLiteral("PRAGMA query_only = ON"));
        fixture.start();
        QList<MessageBox::Shown> log = MessageBox::takeLog();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log.first().kind, MessageBox::Warning);
        QCOMPARE(fixture.face().findChild<QAction*>(QStringLiteral("CxMenu6"))->text(),
                 QStringLiteral("自定义查询6"));

        const std::shared_ptr<ViewRst> view = fixture.face().currentView();
        const QString label = fixture.face().Label13()->text();
        fixture.trigger(QStringLiteral("Toolbar1Button13"));
        log = MessageBox::takeLog();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log.first().kind, MessageBox::Warning);
        QCOMPARE(fixture.face().currentView(), view);
        QCOMPARE(fixture.face().Label13()->text(), label);
    }
};

QTEST_MAIN(TestCustomQueries)
#include "test_custom_queries.moc"
