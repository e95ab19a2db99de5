#include "browser/CombinedSearch.h"
#include "browser/SystemViews.h"
#include "browser/gui/MshfGrid.h"
#include "browser/gui/RecordTableModel.h"
#include "browser/gui/SearchPanel.h"
#include "browser/gui/ViewsArea.h"
#include "gui_support/GridFixture.h"
#include "operations/RecordDelete.h"
#include "store/sql/Sql.h"
#include "store/view/SearchIndexes.h"
#include "store/view/ViewRst.h"
#include "support/RegisterKinds.h"
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

// More records than one screen, all in folder 报告 but the last two.
constexpr int manyRecords = ViewRst::firstScreenSize + 40;

void addMany(GridFixture& fixture)
{
    for (int i = 1; i <= manyRecords; ++i)
        fixture.temp().addRecord(i, QStringLiteral("f%1.doc").arg(i), {},
                                 i > manyRecords - 2 ? QStringLiteral("财务")
                                                     : QStringLiteral("报告"));
}

// Runs `then` once, on the first view shown while the search still runs.
void onFirstScreen(GridFixture& face, std::function<void()> then)
{
    auto pending = std::make_shared<std::function<void()>>(std::move(then));
    QObject::connect(face.views(), &ViewsArea::viewShown, face.views(), [&face, pending] {
        if (*pending && face.views()->isSearching())
            std::exchange(*pending, {})();
    });
}

} // namespace

// The program searches off the window's thread: the grid and the caption
// change when the result arrives, and only the newest search is shown.
class TestBackgroundSearch : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void resultArrivesAndNewestWins_data() { kinds(); }
    void resultArrivesAndNewestWins();
    void failedSearchKeepsTheView_data() { kinds(); }
    void failedSearchKeepsTheView();
    void firstScreenThenTheRest_data();
    void firstScreenThenTheRest();
};

void TestBackgroundSearch::resultArrivesAndNewestWins()
{
    FETCH_KIND(kind);
    GridFixture fixture(false, kind);
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
    FETCH_KIND(kind);
    GridFixture fixture(false, kind);
    fixture.temp().addRecord(1, QStringLiteral("a.doc"));
    fixture.start();
    GridFixture& face = fixture;
    face.views()->setBackgroundSearch(true);
    face.views()->AllFile_Click();
    QVERIFY(face.views()->waitForSearch());
    const auto before = face.views()->currentView();
    MessageBox::takeLog();
    // A search the register cannot answer: the table it reads is gone.
    QVERIFY(fixture.temp().execute(QStringLiteral("DROP TABLE ") +
                                   Sql::identifier(SearchIndexes::valueTable)));
    SearchCriteria criteria;
    criteria.recipient = QStringLiteral("x");
    QVERIFY(face.views()->Search(CombinedSearch::SqlMade(criteria), QStringLiteral("不应出现")));
    QVERIFY(face.views()->waitForSearch());
    QCOMPARE(face.views()->currentView(), before);
    QCOMPARE(face.status()->text(), QStringLiteral("系统定义查询：所有记录"));
    QCOMPARE(MessageBox::takeLog().size(), 1);
}

void TestBackgroundSearch::firstScreenThenTheRest_data()
{
    QTest::addColumn<bool>("server");
    QTest::addColumn<QString>("during");
    QTest::addColumn<QString>("folder");
    for (bool server : {false, true}) {
        kindRow(server, "selection kept") << QStringLiteral("select") << QString();
        kindRow(server, "selection kept, folder")
            << QStringLiteral("select") << QStringLiteral("报告");
        kindRow(server, "newer search wins") << QStringLiteral("search") << QString();
        kindRow(server, "removal reads again") << QStringLiteral("remove") << QString();
    }
}

// A view longer than a screen shows its first screen while the rest loads,
// then grows in place; whatever changed the view meanwhile is respected.
void TestBackgroundSearch::firstScreenThenTheRest()
{
    QFETCH(QString, during);
    QFETCH(QString, folder);
    FETCH_KIND(kind);
    const int expected = folder.isEmpty() ? manyRecords : manyRecords - 2;
    GridFixture fixture(false, kind);
    addMany(fixture);
    fixture.start();
    GridFixture& face = fixture;
    face.views()->setBackgroundSearch(true);
    int shown = 0;
    QObject::connect(face.views(), &ViewsArea::viewShown, face.views(), [&shown] { ++shown; });
    int firstRows = 0;
    onFirstScreen(face, [&] {
        firstRows = face.grid()->recordModel()->rowCount();
        QCOMPARE(face.status()->text().contains(QStringLiteral("文件夹")), !folder.isEmpty());
        if (during == QLatin1String("select")) {
            face.grid()->selectRows(5, 7);
        } else if (during == QLatin1String("search")) {
            face.views()->Search(SystemViews::folder(QStringLiteral("财务")));
        } else {
            const std::shared_ptr<ViewRst> view = face.views()->currentView();
            QVERIFY(
                RecordDelete::deleteRecord(face.temp().reg(), face.temp().seen(view->keyAt(1))));
            face.grid()->recordModel()->recordRemoved(1);
        }
    });
    if (folder.isEmpty())
        face.views()->AllFile_Click();
    else
        face.views()->Search(SystemViews::folder(folder), QStringLiteral("   文件夹：") + folder);
    QVERIFY(face.views()->waitForSearch());
    QCOMPARE(firstRows, ViewRst::firstScreenSize);
    QTest::qWait(50);
    const QStringList names = gridNames(face);
    if (during == QLatin1String("select")) {
        QCOMPARE(names.size(), expected);
        QCOMPARE(names.last(), QStringLiteral("f%1.doc").arg(expected));
        QCOMPARE(face.grid()->Row(), 5);
        QCOMPARE(face.grid()->RowSel(), 7);
        QCOMPARE(shown, 1);
    } else if (during == QLatin1String("search")) {
        QCOMPARE(names.size(), 2);
        QCOMPARE(shown, 2);
    } else {
        // Shown afresh from the register, not merged with what was read.
        QCOMPARE(shown, 2);
        QCOMPARE(names.size(), manyRecords - 1);
        QCOMPARE(names.first(), QStringLiteral("f2.doc"));
    }
}

QTEST_MAIN(TestBackgroundSearch)
#include "test_background_search.moc"
