#include "browser/gui/MshfGrid.h"
#include "browser/gui/ViewsArea.h"
#include "gui_support/FaceFixture.h"
#include "operations/gui/DesktopOpener.h"
#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "support/TestFiles.h"
#include "support/gui/MessageBox.h"
#include "support/gui/SaveDialog.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray digestOfTree(const QString& folder)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& name : names) {
        if (name.startsWith(RegisterNames::databaseFile))
            continue; // the database itself changes as rows are deleted
        hash.addData(name.toUtf8());
        hash.addData(TestFiles::read(QDir(folder).filePath(name)));
    }
    return hash.result();
}

} // namespace

// A damaged or hostile register: the window starts, shows what it can, and no
// operation on a bad row reaches outside the store folder.
class TestHostileRegisterGui : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startsAndNeverLeavesTheStore()
    {
        // Send to desktop must not reach the real desktop either.
        QTemporaryDir home;
        qputenv("HOME", home.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
        QDir(home.path()).mkpath(QStringLiteral("Desktop"));
        FaceFixture fixture(false);
        const QString registerFolder = fixture.temp().folder();
        // A file beside the store that "../" names, and one the absolute path names.
        QFile bait(QDir(registerFolder).filePath(QStringLiteral("bait.txt")));
        QVERIFY(bait.open(QIODevice::WriteOnly));
        bait.write("must stay");
        bait.close();
        const QByteArray before = digestOfTree(registerFolder);

        const QSqlDatabase db = fixture.temp().reg().database();
        const QString insert = QStringLiteral("INSERT INTO 文件管理 (文件序号, 发件日期, 文件名, "
                                              "路径, 备注, 接收人, 传送方式, 文件夹) "
                                              "VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
        const QVariant null;
        QVERIFY(Sql::run(db, insert,
                         {1, QStringLiteral("2020-01-01"), QStringLiteral("up.txt"),
                          QStringLiteral("../bait.txt"), null, null, null, null}));
        QVERIFY(Sql::run(db, insert,
                         {2, null, QStringLiteral("abs.txt"),
                          QString(registerFolder + QStringLiteral("/bait.txt")), null, null, null,
                          null}));
        QVERIFY(Sql::run(db, insert,
                         {QStringLiteral("三"), QStringLiteral("not a date"), null,
                          QStringLiteral("a/b"), QStringLiteral("'; DROP TABLE 文件管理; --"), null,
                          null, QStringLiteral("O'Brien")}));
        QVERIFY(Sql::run(db, insert, {null, null, null, null, null, null, null, null}));
        QVERIFY(Sql::run(db, QStringLiteral("DELETE FROM 自定义查询 WHERE rowid > 4")));

        DesktopOpener::setOpener([](const QString&) { return true; });
        SaveDialog::setScripted(true);
        fixture.start();
        TableFace& face = fixture.face();
        MshfGrid* grid = face.MSHF();
        QCOMPARE(grid->Rows(), 5);
        // The record without a serial sorts first, the text serial last.
        QCOMPARE(grid->TextMatrix(2, 1), QStringLiteral("up.txt"));
        QCOMPARE(grid->TextMatrix(4, 7), QStringLiteral("O'Brien"));
        MessageBox::takeLog();

        QTemporaryDir elsewhere;
        for (int row = 1; row <= 4; ++row) {
            for (const char* command :
                 {"OpenMenuInterFace", "SaveAsMenuInterFace", "TozmMenuInterFace",
                  "UpMenuInterFace", "DownMenuInterFace"}) {
                grid->setRow(row);
                SaveDialog::setNextAnswer(elsewhere.filePath(QStringLiteral("out.txt")));
                MessageBox::setNextAnswer(MessageBox::Yes);
                fixture.trigger(QString::fromLatin1(command));
            }
            grid->setRow(row);
            MessageBox::setNextAnswer(MessageBox::Yes);
            fixture.trigger(QStringLiteral("DelMenuInterFace"));
        }
        QTest::qWait(700);
        // Nothing outside the store was read out, written or removed.
        QCOMPARE(digestOfTree(registerFolder), before);
        QVERIFY(!QFile::exists(elsewhere.filePath(QStringLiteral("out.txt"))));
        QVERIFY(QDir(home.path() + QStringLiteral("/Desktop")).isEmpty());
        SaveDialog::setScripted(false);
        DesktopOpener::setOpener({});
    }

    void searchBoxesTakeAnyTextLiterally()
    {
        FaceFixture fixture(false);
        fixture.temp().addRecord(1, QStringLiteral("100%_done'; --.txt"));
        fixture.temp().addRecord(2, QStringLiteral("100 done.txt"));
        fixture.start();
        TableFace& face = fixture.face();
        const QStringList hostile = {
            QStringLiteral("'"),
            QStringLiteral("%"),
            QStringLiteral("_"),
            QStringLiteral("\\"),
            QStringLiteral("'; DROP TABLE 文件管理; --"),
            QString(20000, QLatin1Char('x')),
            QStringLiteral("a\nb"),
        };
        for (int box = 0; box < 7; ++box) {
            for (const QString& text : hostile) {
                face.views()->Clear();
                face.searchPanel()->box(box)->setText(text);
                face.views()->SearchCommand_Click();
                QVERIFY2(MessageBox::takeLog().isEmpty(), qPrintable(text.left(40)));
                QCOMPARE(face.Label13()->text(), QStringLiteral("         组合搜索"));
            }
        }
        face.views()->Clear();
        face.searchPanel()->box(0)->setText(QStringLiteral("%_done'"));
        face.views()->SearchCommand_Click();
        QCOMPARE(face.MSHF()->Rows(), 2);
        QCOMPARE(face.MSHF()->TextMatrix(1, 1), QStringLiteral("100%_done'; --.txt"));
        QCOMPARE(fixture.temp().serials().size(), 2);
    }
};

QTEST_MAIN(TestHostileRegisterGui)
#include "test_hostile_register_gui.moc"
