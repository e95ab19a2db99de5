#include "browser/gui/MshfGrid.h"
#include "browser/gui/ViewsArea.h"
#include "gui_support/FaceFixture.h"
#include "store/RecordStore.h"
#include "store/RegisterRecord.h"
#include "store/RegisterWatch.h"
#include "support/RegisterKinds.h"
#include "trash/gui/BinArea.h"

#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>

namespace {

// Several poll periods, on a machine busy with other builds too.
constexpr int patienceMs = 15000;

// Runs the real command-line program on the register at `location` (a
// folder or a server URL): another program.
bool runCli(const QString& location, const QStringList& arguments)
{
    QProcess cli;
    cli.start(QStringLiteral(QUORVEL_CLI),
              QStringList{QStringLiteral("--register"), location} + arguments);
    if (!cli.waitForFinished(60000) || cli.exitCode() != 0) {
        qWarning() << arguments << cli.readAllStandardError();
        return false;
    }
    return true;
}

// Registers a new file called `name` in `folder` from another program.
bool addFromCli(const QString& location, const QString& name, const QString& folder)
{
    QTemporaryDir source;
    QFile file(source.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write("content") != 7)
        return false;
    file.close();
    return runCli(location,
                  {QStringLiteral("add"), QStringLiteral("--folder"), folder, file.fileName()});
}

QStringList folderCaptions(QMenu* menu)
{
    QStringList captions;
    for (const QAction* item : menu->actions())
        captions << ViewsArea::folderOf(item);
    return captions;
}

} // namespace

class TestLiveRefresh : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void othersChangesShowKeepingPlaceAndSelection_data() { kinds(); }
    void othersChangesShowKeepingPlaceAndSelection()
    {
        FETCH_KIND(kind);
        FaceFixture fixture(false, kind);
        QList<qint64> rowids;
        for (int serial = 1; serial <= 60; ++serial)
            rowids << fixture.temp().addRecord(serial, QStringLiteral("文件%1.doc").arg(serial), {},
                                               QStringLiteral("甲"));
        fixture.start();
        TableFace& face = fixture.face();
        // As the program runs: views load on their own thread.
        face.views()->setBackgroundSearch(true);
        MshfGrid* grid = face.MSHF();
        grid->selectRows(30, 32);
        grid->setTopRow(25);
        const QString caption = face.Label13()->text();

        // One record above the selection goes, one comes at the end, with a
        // new folder, and a saved query is renamed.
        const QString location = fixture.temp().location();
        QVERIFY(runCli(location,
                       {QStringLiteral("delete"), QStringLiteral("--yes"), QStringLiteral("1")}));
        QVERIFY(addFromCli(location, QStringLiteral("新来的.txt"), QStringLiteral("乙")));
        QVERIFY(runCli(location, {QStringLiteral("query-set"), QStringLiteral("1"),
                                  QStringLiteral("--name"), QStringLiteral("外来查询"),
                                  QStringLiteral("--title"), QStringLiteral("外来")}));

        QTRY_COMPARE_WITH_TIMEOUT(
            grid->TextMatrix(grid->Rows() - 1, RegisterRecord::FileNameColumn),
            QStringLiteral("新来的.txt"), patienceMs);
        QTRY_COMPARE_WITH_TIMEOUT(face.queryButton(1)->text(), QStringLiteral("外来"), patienceMs);
        QCOMPARE(face.queryItem(1)->text(), QStringLiteral("外来查询"));
        QCOMPARE(folderCaptions(face.folderMenu()),
                 (QStringList{QStringLiteral("甲"), QStringLiteral("乙")}));
        QCOMPARE(grid->TextMatrix(1, RegisterRecord::FileNameColumn), QStringLiteral("文件2.doc"));
        // The same records stay selected and the same one on top, a row up.
        const std::shared_ptr<ViewRst>& view = face.currentView();
        QCOMPARE(view->keyAt(grid->Row()), rowids.at(29));
        QCOMPARE(view->keyAt(grid->RowSel()), rowids.at(31));
        QCOMPARE(grid->TopRow(), 24);
        QCOMPARE(face.Label13()->text(), caption);
    }

    void shownBinFollowsOthersDeletes()
    {
        FaceFixture fixture(false);
        QList<qint64> rowids;
        for (int serial = 1; serial <= 3; ++serial)
            rowids << fixture.temp().addRecord(serial, QStringLiteral("f%1.txt").arg(serial), {},
                                               {}, QStringLiteral("2020-01-02"), {}, {}, "copy");
        fixture.start();
        const QString folder = fixture.temp().folder();
        QVERIFY(runCli(folder,
                       {QStringLiteral("delete"), QStringLiteral("--yes"), QStringLiteral("1")}));
        BinArea* bin = fixture.face().bin();
        bin->show();
        QCOMPARE(bin->grid()->model()->rowCount(), 1);

        QVERIFY(runCli(folder,
                       {QStringLiteral("delete"), QStringLiteral("--yes"), QStringLiteral("2")}));
        QTRY_COMPARE_WITH_TIMEOUT(bin->grid()->model()->rowCount(), 2, patienceMs);
        QVERIFY(bin->isShown());
        // Newest first: the entry that was selected is second now, and still selected.
        const QModelIndexList selected = bin->grid()->selectionModel()->selectedRows();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.first().row(), 1);
        QCOMPARE(fixture.face().MSHF()->Rows() - 1, 1);
    }

    void ownChangesAreNotTakenForOthers_data() { kinds(); }
    void ownChangesAreNotTakenForOthers()
    {
        FETCH_KIND(kind);
        FaceFixture fixture(true, kind);
        TableFace& face = fixture.face();
        RegisterWatch* watch = face.registerWatch();
        QSignalSpy heard(watch, &RegisterWatch::changed);

        // The window's own change on another thread, as its intake makes them.
        const Register reg = fixture.temp().reg();
        const bool written = QtConcurrent::run([reg] {
                                 NewRecord record;
                                 record.serial = 7;
                                 record.fileName = record.storedName = QStringLiteral("自己的.doc");
                                 bool done = false;
                                 {
                                     std::unique_ptr<RecordStore> store = reg.records();
                                     Result<std::unique_ptr<StoreTransaction>> write =
                                         store->beginWrite();
                                     done = write && store->insert(record) && (*write)->commit();
                                 }
                                 reg.closeConnection();
                                 return done;
                             }).result();
        QVERIFY(written);
        QVERIFY(!watch->checkNow());
        QCOMPARE(heard.count(), 0);

        // Someone else's change waits while a modal dialog is open.
        QDialog dialog(&face);
        dialog.setWindowModality(Qt::ApplicationModal);
        dialog.show();
        QVERIFY(addFromCli(fixture.temp().location(), QStringLiteral("别人的.txt"),
                           QStringLiteral("丙")));
        QTRY_COMPARE_WITH_TIMEOUT(heard.count(), 1, patienceMs);
        QCOMPARE(face.MSHF()->Rows(), 2);
        dialog.close();
        QTRY_COMPARE_WITH_TIMEOUT(face.MSHF()->Rows(), 3, patienceMs);
    }
};

QTEST_MAIN(TestLiveRefresh)
#include "test_live_refresh.moc"
