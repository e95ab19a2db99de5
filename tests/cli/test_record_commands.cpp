#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "support/CliRun.h"
#include "support/TempRegister.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Run = CliRun;

} // namespace

class TestRecordCommands : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void exportCopiesAndRefusesOverwrite();
    void toDesktopNumbersAndReportsMissing();
    void modifySetsNamedColumns();
    void deleteNeedsYes();
    void trashListRestorePurge_data();
    void trashListRestorePurge();
    void moveWithinView();
    void historyFollowsTheRecord();
    void unknownSerials();

private:
    Run cli(const QStringList& arguments) { return runCommandLine(m_temp->folder(), arguments); }
    QString value(qint64 rowid, const QString& column)
    {
        return Sql::scalar(
                   m_temp->reg().database(),
                   QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?")
                       .arg(Sql::identifier(column), Sql::identifier(RegisterNames::recordTable)),
                   {rowid})
            .value()
            .toString();
    }

    QTemporaryDir m_home;
    std::unique_ptr<TempRegister> m_temp;
    QList<qint64> m_rowids;
};

void TestRecordCommands::initTestCase()
{
    qputenv("HOME", QFile::encodeName(m_home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("config"))));
    QDir(m_home.path()).mkpath(QStringLiteral("Desktop"));
}

void TestRecordCommands::init()
{
    m_temp = std::make_unique<TempRegister>();
    m_rowids.clear();
    for (int i = 1; i <= 5; ++i)
        m_rowids << m_temp->addRecord(i, QStringLiteral("r%1.doc").arg(i), QStringLiteral("张三"),
                                      i % 2 ? QStringLiteral("单") : QStringLiteral("双"),
                                      QStringLiteral("2020-01-02"), {}, {},
                                      QStringLiteral("body %1").arg(i).toUtf8());
    // All registered as report.doc, each with its own stored copy.
    QVERIFY(Sql::run(m_temp->reg().database(), QStringLiteral("UPDATE %1 SET %2 = 'report.doc'")
                                                   .arg(Sql::identifier(RegisterNames::recordTable),
                                                        Sql::identifier(RegisterNames::fileName)))
                .ok());
    QDir(m_home.filePath(QStringLiteral("Desktop"))).removeRecursively();
    QDir(m_home.path()).mkpath(QStringLiteral("Desktop"));
}

void TestRecordCommands::exportCopiesAndRefusesOverwrite()
{
    QTemporaryDir out;
    Run run = cli({QStringLiteral("export"), QStringLiteral("2"), out.path()});
    QCOMPARE(run.status, 0);
    const QString target = out.filePath(QStringLiteral("report.doc"));
    QCOMPARE(TestFiles::read(target), QByteArray("body 2"));

    run = cli({QStringLiteral("export"), QStringLiteral("3"), target});
    QCOMPARE(run.status, 1);
    QVERIFY(!run.err.isEmpty());
    QCOMPARE(TestFiles::read(target), QByteArray("body 2"));
    run = cli({QStringLiteral("export"), QStringLiteral("--force"), QStringLiteral("3"), target});
    QCOMPARE(run.status, 0);
    QCOMPARE(TestFiles::read(target), QByteArray("body 3"));
}

void TestRecordCommands::toDesktopNumbersAndReportsMissing()
{
    QFile::remove(m_temp->reg().storedCopyPath(QStringLiteral("r2.doc")));
    const Run run = cli({QStringLiteral("to-desktop"), QStringLiteral("1"), QStringLiteral("2"),
                         QStringLiteral("3")});
    QCOMPARE(run.status, 1);
    QVERIFY(run.err.contains(QStringLiteral("文件未找到")));
    const QDir desktop(m_home.filePath(QStringLiteral("Desktop")));
    QCOMPARE(TestFiles::read(desktop.filePath(QStringLiteral("report.doc"))), QByteArray("body 1"));
    QCOMPARE(TestFiles::read(desktop.filePath(QStringLiteral("report(1).doc"))),
             QByteArray("body 3"));
    QCOMPARE(desktop.entryList(QDir::Files).size(), 2);
}

void TestRecordCommands::modifySetsNamedColumns()
{
    Run run = cli({QStringLiteral("modify"), QStringLiteral("2"), QStringLiteral("4"),
                   QStringLiteral("--folder"), QString(), QStringLiteral("--recipient"),
                   QString(70, QLatin1Char('x'))});
    QCOMPARE(run.status, 0);
    for (int i = 0; i < 5; ++i) {
        const bool changed = i == 1 || i == 3;
        QCOMPARE(value(m_rowids[i], RegisterNames::folder),
                 changed ? QString() : (i % 2 ? QStringLiteral("双") : QStringLiteral("单")));
        QCOMPARE(value(m_rowids[i], RegisterNames::recipient),
                 changed ? QString(50, QLatin1Char('x')) : QStringLiteral("张三"));
    }
    run = cli({QStringLiteral("modify"), QStringLiteral("2")});
    QCOMPARE(run.status, 2);
}

void TestRecordCommands::deleteNeedsYes()
{
    // Without a terminal to ask on, a missing --yes is a usage error.
    Run run = cli({QStringLiteral("delete"), QStringLiteral("2")});
    QCOMPARE(run.status, 2);
    QCOMPARE(m_temp->serials().size(), 5);
    run = cli({QStringLiteral("delete"), QStringLiteral("--yes"), QStringLiteral("2"),
               QStringLiteral("4")});
    QCOMPARE(run.status, 0);
    QCOMPARE(m_temp->serials(), (QList<qint64>{1, 3, 5}));
    QVERIFY(!QFile::exists(m_temp->reg().storedCopyPath(QStringLiteral("r2.doc"))));
    QVERIFY(QFile::exists(m_temp->reg().storedCopyPath(QStringLiteral("r3.doc"))));
}

void TestRecordCommands::trashListRestorePurge_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QList<qint64>>("serials"); // of the register afterwards
    QTest::addColumn<int>("inBin");
    const QList<qint64> two{1, 3, 5};
    QTest::newRow("list") << QStringList{QStringLiteral("list")} << 0 << two << 2;
    QTest::newRow("restore one") << QStringList{QStringLiteral("restore"), QStringLiteral("4")} << 0
                                 << QList<qint64>{1, 3, 4, 5} << 1;
    QTest::newRow("restore both") << QStringList{QStringLiteral("restore"), QStringLiteral("2"),
                                                 QStringLiteral("4")}
                                  << 0 << QList<qint64>{1, 2, 3, 4, 5} << 0;
    QTest::newRow("restore, not in bin")
        << QStringList{QStringLiteral("restore"), QStringLiteral("3")} << 1 << two << 2;
    QTest::newRow("purge one") << QStringList{QStringLiteral("purge"), QStringLiteral("--yes"),
                                              QStringLiteral("2")}
                               << 0 << two << 1;
    QTest::newRow("purge all") << QStringList{QStringLiteral("purge"), QStringLiteral("-y")} << 0
                               << two << 0;
    QTest::newRow("purge older than a day")
        << QStringList{QStringLiteral("purge"), QStringLiteral("--yes"),
                       QStringLiteral("--older-than"), QStringLiteral("1")}
        << 0 << two << 2;
    QTest::newRow("purge older than now")
        << QStringList{QStringLiteral("purge"), QStringLiteral("--yes"),
                       QStringLiteral("--older-than"), QStringLiteral("-1")}
        << 2 << two << 2;
    QTest::newRow("purge needs yes") << QStringList{QStringLiteral("purge")} << 2 << two << 2;
    QTest::newRow("no action") << QStringList{} << 2 << two << 2;
    QTest::newRow("unknown action") << QStringList{QStringLiteral("empty")} << 2 << two << 2;
    QTest::newRow("restore without serial")
        << QStringList{QStringLiteral("restore")} << 2 << two << 2;
}

void TestRecordCommands::trashListRestorePurge()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QList<qint64>, serials);
    QFETCH(int, inBin);
    QCOMPARE(cli({QStringLiteral("delete"), QStringLiteral("--yes"), QStringLiteral("2"),
                  QStringLiteral("4")})
                 .status,
             0);
    const Run run = cli(QStringList{QStringLiteral("trash")} + arguments);
    QVERIFY2(run.status == status, qPrintable(run.err));
    QCOMPARE(m_temp->serials(), serials);
    const Run list = cli({QStringLiteral("trash"), QStringLiteral("list"),
                          QStringLiteral("--format"), QStringLiteral("tsv")});
    QCOMPARE(list.status, 0);
    QCOMPARE(list.out.count(QLatin1Char('\n')), 1 + inBin);
    // A restored record has its own bytes back.
    if (serials.contains(2))
        QCOMPARE(TestFiles::read(m_temp->reg().storedCopyPath(QStringLiteral("r2.doc"))),
                 QByteArray("body 2"));
}

void TestRecordCommands::moveWithinView()
{
    // In folder 单 (serials 1, 3, 5) the record above 5 is 3; 4 is untouched.
    Run run = cli({QStringLiteral("move-up"), QStringLiteral("5"), QStringLiteral("--folder"),
                   QStringLiteral("单")});
    QCOMPARE(run.status, 0);
    QCOMPARE(value(m_rowids[4], RegisterNames::serial), QStringLiteral("3"));
    QCOMPARE(value(m_rowids[2], RegisterNames::serial), QStringLiteral("5"));
    QCOMPARE(value(m_rowids[3], RegisterNames::serial), QStringLiteral("4"));

    // In all records the record below serial 3 (now rowid 5) is serial 4.
    run = cli({QStringLiteral("move-down"), QStringLiteral("3")});
    QCOMPARE(run.status, 0);
    QCOMPARE(value(m_rowids[4], RegisterNames::serial), QStringLiteral("4"));
    QCOMPARE(value(m_rowids[3], RegisterNames::serial), QStringLiteral("3"));

    run = cli({QStringLiteral("move-up"), QStringLiteral("1")});
    QCOMPARE(run.status, 0);
    QCOMPARE(value(m_rowids[0], RegisterNames::serial), QStringLiteral("1"));
    run = cli({QStringLiteral("move-up"), QStringLiteral("2"), QStringLiteral("--folder"),
               QStringLiteral("单")});
    QCOMPARE(run.status, 1);
}

void TestRecordCommands::historyFollowsTheRecord()
{
    // The record of serial 1 moves to 2, gets a remark, and is listed by its new serial.
    QCOMPARE(cli({QStringLiteral("move-down"), QStringLiteral("1")}).status, 0);
    QCOMPARE(cli({QStringLiteral("modify"), QStringLiteral("2"), QStringLiteral("--remark"),
                  QStringLiteral("改")})
                 .status,
             0);
    Run run = cli({QStringLiteral("history"), QStringLiteral("2"), QStringLiteral("--format"),
                   QStringLiteral("tsv")});
    QCOMPARE(run.status, 0);
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QStringLiteral("时间\t用户\t操作\t记录号\t变更"));
    const QString rowid = QString::number(m_rowids[0]);
    QVERIFY2(lines[1].endsWith(QStringLiteral("\t修改\t%1\t备注: （空） → 改").arg(rowid)),
             qPrintable(lines[1]));
    QVERIFY2(lines[2].endsWith(QStringLiteral("\t移动\t%1\t文件序号: 1 → 2").arg(rowid)),
             qPrintable(lines[2]));

    run = cli({QStringLiteral("history")});
    QCOMPARE(run.status, 0);
    QVERIFY2(run.out.contains(QStringLiteral("（3 条历史记录）")), qPrintable(run.out));
    run = cli({QStringLiteral("history"), QStringLiteral("99")});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains(QStringLiteral("没有序号为 99 的记录")), qPrintable(run.err));
}

void TestRecordCommands::unknownSerials()
{
    for (const QString& command : {QStringLiteral("export"), QStringLiteral("to-desktop"),
                                   QStringLiteral("delete"), QStringLiteral("move-up")}) {
        QStringList arguments{command, QStringLiteral("99")};
        if (command == QLatin1String("export"))
            arguments << m_home.filePath(QStringLiteral("x"));
        if (command == QLatin1String("delete"))
            arguments << QStringLiteral("--yes");
        const Run run = cli(arguments);
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(QStringLiteral("没有序号为 99 的记录")), qPrintable(run.err));
    }
    QCOMPARE(m_temp->serials().size(), 5);
}

QTEST_GUILESS_MAIN(TestRecordCommands)
#include "test_record_commands.moc"
