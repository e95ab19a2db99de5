// The convert and import-legacy commands: what they print, their exit
// status, and that a dry run or a second run changes no byte.

#include "support/CliRun.h"
#include "support/LegacyFixture.h"
#include "support/TestFiles.h"

#include <QTest>

class TestLegacyCommands : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private Q_SLOTS:
    void runsThatChangeNothing_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QStringList>("first");  // run before the fingerprint
        QTest::addColumn<QStringList>("second"); // run that must change nothing
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        const QStringList none;
        const QStringList convert{QStringLiteral("convert")};
        const QStringList dryRun{QStringLiteral("convert"), QStringLiteral("--dry-run")};
        QTest::newRow("dry run, copy missing") << QStringLiteral("typical") << none << dryRun << 1
                                               << QStringLiteral("发票扫描.aOtfKKZq8v.pdf");
        QTest::newRow("dry run, odd") << QStringLiteral("odd") << none << dryRun << 1
                                      << QStringLiteral("..\\..\\Windows\\win.ini");
        QTest::newRow("second run")
            << QStringLiteral("typical") << convert << convert << 0 << QStringLiteral("无需转换");
        QTest::newRow("dry run after conversion")
            << QStringLiteral("bare") << convert << dryRun << 0 << QStringLiteral("无需转换");
    }

    void runsThatChangeNothing()
    {
        QFETCH(QString, fixture);
        QFETCH(QStringList, first);
        QFETCH(QStringList, second);
        QFETCH(int, status);
        QFETCH(QString, says);
        const QString folder =
            LegacyFixture::copy(m_dir, fixture, QString::fromUtf8(QTest::currentDataTag()));
        if (!first.isEmpty())
            runCommandLine(folder, first);
        const auto before = LegacyFixture::digests(folder);
        const CliRun run = runCommandLine(folder, second);
        QCOMPARE(run.status, status);
        QVERIFY2(run.out.contains(says), qPrintable(run.out + run.err));
        QVERIFY(LegacyFixture::digests(folder) == before);
    }

    void conversionExitsZeroOnlyWhenNothingWasLost()
    {
        const CliRun bare = runCommandLine(LegacyFixture::copy(m_dir, QStringLiteral("bare")),
                                           {QStringLiteral("convert")});
        QCOMPARE(bare.status, 0);
        QVERIFY(bare.out.contains(QStringLiteral("文件管理.jet.mdb")));
        const CliRun typical = runCommandLine(LegacyFixture::copy(m_dir, QStringLiteral("typical")),
                                              {QStringLiteral("convert")});
        QCOMPARE(typical.status, 1);
        QVERIFY(typical.out.contains(QStringLiteral("已转换记录：60 条")));
        QVERIFY(typical.out.contains(QStringLiteral("孤立文件.txt")));
    }

    // A damaged old file is not converted, and the next run still finds it;
    // commands that need a converted register say how to convert it.
    void oldRegisterLeftAsItWasSaysWhy_data()
    {
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QString>("says");
        const QStringList convert{QStringLiteral("convert")};
        QTest::newRow("damaged, convert") << true << convert << QStringLiteral("已损坏");
        QTest::newRow("damaged, dry run")
            << true << QStringList{QStringLiteral("convert"), QStringLiteral("--dry-run")}
            << QStringLiteral("已损坏");
        QTest::newRow("list") << false << QStringList{QStringLiteral("list")}
                              << QStringLiteral("尚未转换");
        QTest::newRow("info") << false << QStringList{QStringLiteral("info")}
                              << QStringLiteral("convert");
    }

    void oldRegisterLeftAsItWasSaysWhy()
    {
        QFETCH(bool, damaged);
        QFETCH(QStringList, command);
        QFETCH(QString, says);
        const QString folder = LegacyFixture::copy(m_dir, QStringLiteral("typical"),
                                                   QString::fromUtf8(QTest::currentDataTag()));
        if (damaged) {
            const QString database = folder + QStringLiteral("/文件管理.mdb");
            TestFiles::write(database, TestFiles::read(database).left(28 * 4096));
        }
        const auto before = LegacyFixture::digests(folder);
        for (int run = 0; run < 2; ++run) {
            const CliRun cli = runCommandLine(folder, command);
            QCOMPARE(cli.status, 1);
            QVERIFY2(cli.err.contains(says), qPrintable(cli.out + cli.err));
            QVERIFY(cli.err.contains(QStringLiteral("旧")));
            QVERIFY(LegacyFixture::digests(folder) == before);
        }
    }

    void importLegacyReadsTheSourceOnly()
    {
        QTemporaryDir target;
        const QString source =
            LegacyFixture::copy(m_dir, QStringLiteral("odd"), QStringLiteral("src"));
        const auto before = LegacyFixture::digests(source);
        QCOMPARE(runCommandLine(target.path(), {QStringLiteral("init")}).status, 0);
        const CliRun run = runCommandLine(target.path(), {QStringLiteral("import-legacy"), source});
        QCOMPARE(run.status, 1);
        QVERIFY(run.out.contains(QStringLiteral("已导入记录：8 条")));
        QVERIFY(run.out.contains(QStringLiteral("C:\\boot.ini")));
        QVERIFY(LegacyFixture::digests(source) == before);
        QCOMPARE(runCommandLine(target.path(), {QStringLiteral("import-legacy")}).status, 2);
        // A Quorvel register is not an old one.
        QTemporaryDir other;
        runCommandLine(other.path(), {QStringLiteral("init")});
        const CliRun wrong =
            runCommandLine(target.path(), {QStringLiteral("import-legacy"), other.path()});
        QCOMPARE(wrong.status, 1);
        QVERIFY(wrong.err.contains(QStringLiteral("没有旧格式")));
    }
};

QTEST_GUILESS_MAIN(TestLegacyCommands)
#include "test_legacy_commands.moc"
