#include "store/RegisterNames.h"
#include "support/CliRun.h"
#include "support/TempRegister.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Run = CliRun;

Run cli(const QStringList& arguments)
{
    return runCommandLine(arguments);
}

} // namespace

class TestCliRegister : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initCreatesThenReportsExisting()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("r"));
        Run first = cli({QStringLiteral("--register"), folder, QStringLiteral("init")});
        QCOMPARE(first.status, 0);
        QVERIFY(first.out.contains(QStringLiteral("已创建")));
        QVERIFY(QFile::exists(QDir(folder).filePath(RegisterNames::databaseFile)));
        Run second = cli({QStringLiteral("init"), QStringLiteral("--register"), folder});
        QCOMPARE(second.status, 0);
        QVERIFY(second.out.contains(QStringLiteral("已存在")));
    }

    void infoPrintsFolderDatabaseAndCount()
    {
        TempRegister temp;
        temp.addRecord(1, QStringLiteral("a.txt"));
        temp.addRecord(2, QStringLiteral("b.txt"));
        Run run = cli({QStringLiteral("--register"), temp.folder(), QStringLiteral("info")});
        QCOMPARE(run.status, 0);
        QVERIFY(run.out.contains(temp.reg().databasePath()));
        QVERIFY(run.out.contains(QStringLiteral("记录数:       2")));
    }

    void infoRefusesForeignAndMissingRegisters()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath(RegisterNames::databaseFile));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QByteArray jet(512, '\0');
        jet.replace(4, 15, "Standard Jet DB");
        file.write(jet);
        file.close();
        Run foreign = cli({QStringLiteral("--register"), dir.path(), QStringLiteral("info")});
        QVERIFY(foreign.status != 0);
        QVERIFY(foreign.err.contains(QStringLiteral("Microsoft Access")));

        Run missing = cli({QStringLiteral("--register"), dir.filePath(QStringLiteral("none")),
                           QStringLiteral("info")});
        QVERIFY(missing.status != 0);
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("none"))));
    }

    // 0 done, 1 failed, 2 usage error, for every command. "@" stands for a
    // register holding record 1, "#" for a folder with no register.
    void exitStatuses_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("status");
        const std::pair<const char*, int> cases[] = {
            {"--help", 0},
            {"@ list --format csv", 0},
            {"@ modify 1 --remark x", 0},
            {"@ query-set 2 --title t", 0},
            {"", 2},
            {"@", 2},
            {"frobnicate", 2},
            {"--register", 2},
            {"@ list --bogus", 2},
            {"@ list --format xml", 2},
            {"@ list --from yesterday", 2},
            {"@ modify abc --remark x", 2},
            {"@ modify 1", 2},
            {"@ delete abc --yes", 2},
            {"@ export abc /tmp", 2},
            {"@ to-desktop 1x", 2},
            {"@ move-up 1.5", 2},
            {"@ query 10", 2},
            {"@ query-set 2", 2},
            {"@ add", 2},
            {"@ add --date 2026-2-30 x", 2},
            {"@ backup", 2},
            {"@ restore", 2},
            {"@ backup --verify /nonexistent", 1},
            {"@ restore /nonexistent", 1},
            {"@ modify 99 --remark x", 1},
            {"@ export 99 /tmp", 1},
            {"@ add /nonexistent/file", 1},
            {"# list", 1},
            {"# check", 1},
            {"# info", 1},
        };
        for (const auto& [arguments, status] : cases)
            QTest::newRow(arguments) << QString::fromUtf8(arguments) << status;
    }
    void exitStatuses()
    {
        QFETCH(QString, arguments);
        QFETCH(int, status);
        TempRegister temp;
        temp.addRecord(1, QStringLiteral("a.txt"));
        QTemporaryDir empty;
        QStringList list = arguments.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (!list.isEmpty() &&
            (list.first() == QLatin1String("@") || list.first() == QLatin1String("#"))) {
            const QString folder =
                list.first() == QLatin1String("@") ? temp.folder() : empty.path();
            list.replace(0, folder);
            list.prepend(QStringLiteral("--register"));
        }
        const Run run = cli(list);
        QCOMPARE(run.status, status);
        // Failures are told on stderr, behind the program's name.
        if (status != 0) {
            QVERIFY2(run.err.startsWith(QStringLiteral("quorvel-cli")) ||
                         run.err.startsWith(QStringLiteral("用法")),
                     qPrintable(run.err));
            QVERIFY(run.out.isEmpty());
        } else {
            QVERIFY2(!run.out.isEmpty(), qPrintable(run.err));
        }
    }
};

QTEST_GUILESS_MAIN(TestCliRegister)
#include "test_cli_register.moc"
