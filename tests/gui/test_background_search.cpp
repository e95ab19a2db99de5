#include "browser/gui/MshfGrid.h"
#include "browser/gui/SearchPanel.h"
#include "browser/gui/ViewsArea.h"
#include "gui_support/GridFixture.h"
#include "support/gui/MessageBox.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QToolButton>

namespace {

QStringList gridNames(GridFixture& face)
{
    QStringList names = face.column(2);
    names.removeAll(QString());
    return names;
}

} // namespace

// The program searches off the window's thread: the grid and the caption
// change when the result arrives, and only the newest search is shown.
class TestBackgroundSearch : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void resultArrivesAndNewestWins();
    void failedSearchKeepsTheView();
};

void TestBackgroundSearch::resultArrivesAndNewestWins()
{
    GridFixture fixture(false);
    fixture.temp().addRecord(1, QStringLiteral("会议纪要.doc"), QStringLiteral("张三"),
                             QStringLiteral("报告"));
    fixture.temp().addRecord(2, QStringLiteral("预算.xls"), QStringLiteral("李四"),
                             QStringLiteral("财务"));
    fixture.temp().addRecord(3, QStringLiteral("会议通知.txt"), QStringLiteral("张三"),
                             QStringLiteral("财务"));
    fixture.start();
    GridFixture& face = fixture;
    face.views()->setBackgroundSearch(true);
    face.views()->AllFile_Click();
    QVERIFY(face.views()->waitForSearch());
    QCOMPARE(gridNames(face).size(), 3);
    QCOMPARE(face.status()->text(), QStringLiteral("系统定义查询：所有记录"));

    // Two searches in a row: the second replaces the first whatever order
    // they finish in, and the first never shows.
    face.search()->box(0)->setText(QStringLiteral("会议"));
    face.search()->findChild<QToolButton*>(QStringLiteral("SearchCommand"))->click();
    face.folderMenu()->actions().first()->trigger();
    QVERIFY(face.views()->isSearching());
    QVERIFY(face.views()->waitForSearch());
    const QString folderCaption = face.status()->text();
    QVERIFY2(folderCaption.startsWith(QStringLiteral("   文件夹：")), qPrintable(folderCaption));
    const QStringList folderRows = gridNames(face);
    QCOMPARE(folderRows.size(), 2);
    QTest::qWait(100);
    QCOMPARE(gridNames(face), folderRows);
    QCOMPARE(face.status()->text(), folderCaption);

    // The search panel's own search, by return in a box.
    face.search()->box(0)->setText(QStringLiteral("会议纪"));
    QTest::keyClick(face.search()->box(0), Qt::Key_Return);
    QVERIFY(face.views()->waitForSearch());
    QCOMPARE(gridNames(face), QStringList{QStringLiteral("会议纪要.doc")});
    QCOMPARE(face.status()->text(), QStringLiteral("         组合搜索"));
}

void TestBackgroundSearch::failedSearchKeepsTheView()
{
    GridFixture fixture(false);
    fixture.temp().addRecord(1, QStringLiteral("a.doc"));
    fixture.start();
    GridFixture& face = fixture;
    face.views()->setBackgroundSearch(true);
    face.views()->AllFile_Click();
    QVERIFY(face.views()->waitForSearch());
    const auto before = face.views()->currentView();
    MessageBox::takeLog();
    QVERIFY(face.views()->Search({QStringLiteral("no_such_column = 1"), {}},
                                 QStringLiteral("不应出现")));
    QVERIFY(face.views()->waitForSearch());
    QCOMPARE(face.views()->currentView(), before);
    QCOMPARE(face.status()->text(), QStringLiteral("系统定义查询：所有记录"));
    QCOMPARE(MessageBox::takeLog().size(), 1);
}

QTEST_MAIN(TestBackgroundSearch)
#include "test_background_search.moc"
