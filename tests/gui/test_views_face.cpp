#include "browser/gui/MshfGrid.h"
#include "browser/gui/SearchPanel.h"
#include "browser/gui/ViewsArea.h"
#include "gui_support/GridFixture.h"
#include "gui_support/MenuPicture.h"
#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "support/RegisterKinds.h"
#include "support/gui/MessageBox.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QToolButton>

namespace {

// Test tables written with plain literals.
QStringList strings(std::initializer_list<const char*> texts)
{
    QStringList list;
    for (const char* text : texts)
        list << QString::fromUtf8(text);
    return list;
}

const int serialColumn = 6;

// Serials the grid shows, top to bottom; empty for the placeholder row.
QStringList gridSerials(GridFixture& face)
{
    QStringList serials;
    MshfGrid* grid = face.grid();
    for (int row = 1; row < grid->Rows(); ++row) {
        if (!grid->TextMatrix(row, 2).isEmpty())
            serials << grid->TextMatrix(row, serialColumn);
    }
    return serials;
}

QString status(GridFixture& face)
{
    return face.status()->text();
}

// What the menu item named `item` does: a system view or a folder.
void run(GridFixture& fixture, const QString& item)
{
    static const QHash<QString, void (ViewsArea::*)()> systemViews = {
        {QStringLiteral("AllFile"), &ViewsArea::AllFile_Click},
        {QStringLiteral("MyTo"), &ViewsArea::MyTo_Click},
        {QStringLiteral("ManToMe"), &ViewsArea::ManToMe_Click},
        {QStringLiteral("MyFile"), &ViewsArea::MyFile_Click},
    };
    if (const auto view = systemViews.value(item))
        (fixture.views()->*view)();
    else if (QAction* folder = fixture.folderMenu()->findChild<QAction*>(item))
        folder->trigger();
    else
        QFAIL(qPrintable(QStringLiteral("no item named ") + item));
}

void fill(TempRegister& temp)
{
    temp.addRecord(1, QStringLiteral("a.doc"), QStringLiteral("张三"), QStringLiteral("A"),
                   QStringLiteral("2006-05-01"));
    temp.addRecord(2, QStringLiteral("b.doc"), QStringLiteral("自己"), QStringLiteral("A"),
                   QStringLiteral("2006-05-02"));
    temp.addRecord(3, QStringLiteral("c.doc"), QStringLiteral("本地文档"),
                   QStringLiteral("O'Brien"), QStringLiteral("2006-05-03"));
    temp.addRecord(4, QStringLiteral("d.doc"), QStringLiteral("自己人"), QStringLiteral("100%"),
                   QStringLiteral("2006-05-04"));
    temp.addRecord(5, QStringLiteral("e.doc"), QString(), QStringLiteral("R&D"),
                   QStringLiteral("2006-05-05"), QStringLiteral("50%"));
}

QStringList captions(QMenu* menu)
{
    QStringList texts;
    for (QAction* item : menu->actions())
        texts << item->text();
    return texts;
}

void runSql(const TempRegister& temp, const QString& sql)
{
    const Status done = temp.execute(sql);
    QVERIFY2(done.ok(), qPrintable(done.error().fullText()));
}

} // namespace

class TestViewsFace : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void systemViews_data()
    {
        QTest::addColumn<bool>("server");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QStringList>("serials");
        QTest::addColumn<QString>("recipientBox");
        for (bool server : {false, true}) {
            kindRow(server, "all")
                << "AllFile"
                << "系统定义查询：所有记录" << strings({"1", "2", "3", "4", "5"}) << "";
            kindRow(server, "sent") << "MyTo"
                                    << "系统定义查询：我发他收" << strings({"1", "4"}) << "";
            kindRow(server, "received")
                << "ManToMe"
                << "系统定义查询：他发我收" << strings({"2", "4"}) << "自己";
            kindRow(server, "local") << "MyFile"
                                     << "系统定义查询：本地文档" << strings({"3"}) << "本地文档";
        }
    }
    void systemViews()
    {
        QFETCH(QString, item);
        QFETCH(QString, label);
        QFETCH(QStringList, serials);
        QFETCH(QString, recipientBox);
        FETCH_KIND(kind);
        GridFixture fixture(false, kind);
        fill(fixture.temp());
        fixture.start();
        GridFixture& face = fixture;
        QCOMPARE(status(face), QStringLiteral("系统定义查询：所有记录"));
        // Left-over search texts are cleared by every system view.
        for (int box = 0; box < SearchCriteria::BoxCount; ++box)
            face.search()->box(box)->setText(QStringLiteral("zzz"));
        run(fixture, item);
        QCOMPARE(status(face), label);
        QCOMPARE(gridSerials(face), serials);
        for (int box = 0; box < 7; ++box)
            QCOMPARE(face.search()->box(box)->text(), box == 1 ? recipientBox : QString());
        QVERIFY(MessageBox::takeLog().isEmpty());
    }

    void systemViewsOfEmptyRegister_data() { kinds(); }
    void systemViewsOfEmptyRegister()
    {
        FETCH_KIND(kind);
        GridFixture fixture(true, kind);
        GridFixture& face = fixture;
        const QStringList items = {QStringLiteral("MyTo"), QStringLiteral("ManToMe"),
                                   QStringLiteral("MyFile"), QStringLiteral("AllFile")};
        const QStringList labels = {
            QStringLiteral("系统定义查询：我发他收"), QStringLiteral("系统定义查询：他发我收"),
            QStringLiteral("系统定义查询：本地文档"), QStringLiteral("系统定义查询：所有记录")};
        for (qsizetype i = 0; i < items.size(); ++i) {
            run(fixture, items.at(i));
            QCOMPARE(status(face), labels.at(i));
            QCOMPARE(face.grid()->Rows(), 2);
            QCOMPARE(face.grid()->TextMatrix(1, 1), QString());
        }
    }

    void searchButtonAfterReceivedShowsCombinedSearch_data() { kinds(); }
    void searchButtonAfterReceivedShowsCombinedSearch()
    {
        FETCH_KIND(kind);
        GridFixture fixture(false, kind);
        fill(fixture.temp());
        fixture.start();
        GridFixture& face = fixture;
        run(fixture, QStringLiteral("ManToMe"));
        auto* button = face.search()->findChild<QToolButton*>(QStringLiteral("SearchCommand"));
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(status(face), QStringLiteral("         组合搜索"));
        QCOMPARE(gridSerials(face), QStringList({QStringLiteral("2"), QStringLiteral("4")}));
    }

    void enterInAnyBoxSearches_data()
    {
        QTest::addColumn<bool>("server");
        QTest::addColumn<int>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("serials");
        QTest::addColumn<QString>("textAfter");
        for (bool server : {false, true}) {
            kindRow(server, "name") << 0 << "c.d" << strings({"3"}) << "c.d";
            kindRow(server, "recipient") << 1 << "自己" << strings({"2", "4"}) << "自己";
            kindRow(server, "method") << 2 << "none" << strings({}) << "none";
            kindRow(server, "earliest") << 3 << "2006/5/4" << strings({"4", "5"}) << "2006/5/4";
            kindRow(server, "latest")
                << 4 << "2006年5月2日" << strings({"1", "2"}) << "2006年5月2日";
            kindRow(server, "invalid date dropped")
                << 4 << "next week" << strings({"1", "2", "3", "4", "5"}) << "";
            kindRow(server, "remark percent literal") << 5 << "0%" << strings({"5"}) << "0%";
            kindRow(server, "folder quote literal") << 6 << "'B" << strings({"3"}) << "'B";
        }
    }
    void enterInAnyBoxSearches()
    {
        QFETCH(int, box);
        QFETCH(QString, text);
        QFETCH(QStringList, serials);
        QFETCH(QString, textAfter);
        FETCH_KIND(kind);
        GridFixture fixture(false, kind);
        fill(fixture.temp());
        fixture.start();
        GridFixture& face = fixture;
        QLineEdit* edit = face.search()->box(box);
        edit->setText(text);
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(status(face), QStringLiteral("         组合搜索"));
        QCOMPARE(gridSerials(face), serials);
        QCOMPARE(edit->text(), textAfter);
        QVERIFY(MessageBox::takeLog().isEmpty());
    }

    void boxesCombine_data() { kinds(); }
    void boxesCombine()
    {
        FETCH_KIND(kind);
        GridFixture fixture(false, kind);
        fill(fixture.temp());
        fixture.start();
        GridFixture& face = fixture;
        face.search()->box(1)->setText(QStringLiteral("自己"));
        face.search()->box(3)->setText(QStringLiteral("not a date"));
        face.search()->box(6)->setText(QStringLiteral("A"));
        QTest::keyClick(face.search()->box(6), Qt::Key_Enter);
        QCOMPARE(gridSerials(face), QStringList({QStringLiteral("2")}));
        QCOMPARE(face.search()->box(3)->text(), QString());
        QCOMPARE(face.search()->box(1)->text(), QStringLiteral("自己"));
    }

    void folderMenuListsFoldersByCount_data() { kinds(); }
    void folderMenuListsFoldersByCount()
    {
        FETCH_KIND(kind);
        GridFixture fixture(false, kind);
        qint64 serial = 0;
        for (const auto& [folder, count] :
             {std::pair{"A", 5}, std::pair{"B", 2}, std::pair{"C", 7}, std::pair{"", 4}}) {
            for (int i = 0; i < count; ++i) {
                ++serial;
                fixture.temp().addRecord(serial, QStringLiteral("f%1").arg(serial),
                                         QStringLiteral("x"), QString::fromUtf8(folder));
            }
        }
        fixture.start();
        GridFixture& face = fixture;
        QMenu* menu = face.folderMenu();
        QCOMPARE(captions(menu),
                 QStringList({QStringLiteral("C"), QStringLiteral("A"), QStringLiteral("B")}));
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(menu->actions().at(i)->objectName(), QStringLiteral("FileMenu%1").arg(i));
            QVERIFY2(hasMenuPicture(menu->actions().at(i), 16), qPrintable(QString::number(i)));
        }
        run(fixture, QStringLiteral("FileMenu1"));
        QCOMPARE(status(face), QStringLiteral("   文件夹：A"));
        QCOMPARE(gridSerials(face).size(), 5);
        run(fixture, QStringLiteral("FileMenu0"));
        QCOMPARE(status(face), QStringLiteral("   文件夹：C"));
        QCOMPARE(gridSerials(face).size(), 7);
    }

    void folderNamesAreTakenLiterally_data()
    {
        QTest::addColumn<bool>("server");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("serial");
        for (bool server : {false, true}) {
            kindRow(server, "quote") << "O'Brien"
                                     << "O'Brien"
                                     << "3";
            kindRow(server, "percent") << "100%"
                                       << "100%"
                                       << "4";
            kindRow(server, "ampersand") << "R&D"
                                         << "R&&D"
                                         << "5";
        }
    }
    void folderNamesAreTakenLiterally()
    {
        QFETCH(QString, folder);
        QFETCH(QString, caption);
        QFETCH(QString, serial);
        FETCH_KIND(kind);
        GridFixture fixture(false, kind);
        fill(fixture.temp());
        fixture.start();
        GridFixture& face = fixture;
        QAction* item = nullptr;
        for (QAction* candidate : face.folderMenu()->actions()) {
            if (candidate->text() == caption)
                item = candidate;
        }
        QVERIFY(item);
        // Leftover box texts do not narrow a folder view.
        face.search()->box(0)->setText(QStringLiteral("zzz"));
        item->trigger();
        QCOMPARE(status(face), QStringLiteral("   文件夹：") + folder);
        QCOMPARE(gridSerials(face), QStringList({serial}));
        QCOMPARE(face.search()->box(0)->text(), QString());
        QVERIFY(MessageBox::takeLog().isEmpty());
    }

    void folderMenuWithoutFolders()
    {
        GridFixture fixture(false);
        fixture.temp().addRecord(1, QStringLiteral("a"), QStringLiteral("x"));
        fixture.start();
        GridFixture& face = fixture;
        QMenu* menu = face.folderMenu();
        QCOMPARE(captions(menu), QStringList({QStringLiteral("文件夹1")}));
        QVERIFY(hasMenuPicture(menu->actions().at(0), 16));
        run(fixture, QStringLiteral("FileMenu0"));
        QCOMPARE(status(face), QStringLiteral("   文件夹：文件夹1"));
        QVERIFY(gridSerials(face).isEmpty());
        QCOMPARE(face.grid()->Rows(), 2);
    }

    void rebuildFollowsTheRegister()
    {
        GridFixture fixture(false);
        // More folders than the menu ever held before: all are listed.
        for (int i = 1; i <= 120; ++i)
            fixture.temp().addRecord(i, QStringLiteral("f%1").arg(i), QStringLiteral("x"),
                                     QStringLiteral("F%1").arg(i, 3, 10, QLatin1Char('0')));
        fixture.start();
        GridFixture& face = fixture;
        QMenu* menu = face.folderMenu();
        QCOMPARE(menu->actions().size(), 120);
        QCOMPARE(menu->actions().at(119)->text(), QStringLiteral("F120"));
        QCOMPARE(menu->actions().at(119)->objectName(), QStringLiteral("FileMenu119"));
        for (QAction* item : menu->actions())
            QVERIFY(hasMenuPicture(item, 16));

        // Folders go away: no stale items are left behind, whatever their number.
        runSql(fixture.temp(), QStringLiteral("UPDATE %1 SET %2 = 'G' WHERE %3 > 2")
                                   .arg(Sql::identifier(RegisterNames::recordTable),
                                        Sql::identifier(RegisterNames::folder),
                                        Sql::identifier(RegisterNames::serial)));
        face.views()->RebuildFolderMenu();
        QCOMPARE(captions(menu), QStringList({QStringLiteral("G"), QStringLiteral("F001"),
                                              QStringLiteral("F002")}));
        QVERIFY(!face.folderMenu()->findChild<QAction*>(QStringLiteral("FileMenu3")));
        for (QAction* item : menu->actions())
            QVERIFY(hasMenuPicture(item, 16));
        face.folderMenu()->findChild<QAction*>(QStringLiteral("FileMenu2"))->trigger();
        QCOMPARE(status(face), QStringLiteral("   文件夹：F002"));
        QCOMPARE(gridSerials(face), QStringList({QStringLiteral("2")}));

        // Every folder gone: the first item stays with its last caption.
        runSql(fixture.temp(), QStringLiteral("UPDATE %1 SET %2 = ''")
                                   .arg(Sql::identifier(RegisterNames::recordTable),
                                        Sql::identifier(RegisterNames::folder)));
        face.views()->RebuildFolderMenu();
        QCOMPARE(captions(menu), QStringList({QStringLiteral("G")}));
        QVERIFY(hasMenuPicture(menu->actions().at(0), 16));
    }

    void unreadableRegisterKeepsTheMenu_data() { kinds(); }
    void unreadableRegisterKeepsTheMenu()
    {
        FETCH_KIND(kind);
        GridFixture fixture(false, kind);
        fill(fixture.temp());
        fixture.start();
        GridFixture& face = fixture;
        QMenu* menu = face.folderMenu();
        const QStringList before = captions(menu);
        QCOMPARE(before.size(), 4);
        runSql(fixture.temp(), QStringLiteral("ALTER TABLE %1 RENAME TO gone")
                                   .arg(Sql::identifier(RegisterNames::recordTable)));
        face.views()->RebuildFolderMenu();
        QCOMPARE(captions(menu), before);
        QVERIFY(MessageBox::takeLog().isEmpty());
        // A view that cannot be read is reported and the label keeps the old view.
        run(fixture, QStringLiteral("MyTo"));
        QCOMPARE(MessageBox::takeLog().size(), 1);
        QCOMPARE(status(face), QStringLiteral("系统定义查询：所有记录"));
    }
};

QTEST_MAIN(TestViewsFace)
#include "test_views_face.moc"
