#include "store/RegisterNames.h"
#include "support/CliRun.h"
#include "support/TempRegister.h"

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
        QVERIFY(QFile::exists(folder + QStringLiteral("/文件管理.mdb")));
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

    void usageAndUnknownCommands()
    {
        Run help = cli({QStringLiteral("--help")});
        QCOMPARE(help.status, 0);
        QVERIFY(help.out.contains(QStringLiteral("init")));
        QVERIFY(help.out.contains(QStringLiteral("info")));
        Run unknown = cli({QStringLiteral("frobnicate")});
        QCOMPARE(unknown.status, 2);
        QVERIFY(unknown.err.contains(QStringLiteral("frobnicate")));
        Run noFolder = cli({QStringLiteral("--register")});
        QCOMPARE(noFolder.status, 2);
    }
};

QTEST_GUILESS_MAIN(TestCliRegister)
#include "test_cli_register.moc"
