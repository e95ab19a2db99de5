#include "intake/Intake.h"
#include "integrity/IntegrityCheck.h"
#include "operations/RecordDelete.h"
#include "store/RecordStore.h"
#include "store/RegisterWatch.h"
#include "store/pg/PgTarget.h"
#include "store/sql/Sql.h"
#include "support/CliRun.h"
#include "support/PausePoint.h"
#include "support/PgCluster.h"
#include "support/PgProxy.h"
#include "support/TempRegister.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

// A register kept on a PostgreSQL server, named by a URL or by the
// quorvel.ini of a register folder, through the command line.

class TestServerRegister : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void urlsAndSettingsAreRead_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("expected"); // user|host|port|database|store, or "error"
        QTest::newRow("server and port")
            << "postgresql://anna@db.example:5433/files?store=/srv/store"
            << "anna|db.example|5433|files|/srv/store";
        QTest::newRow("socket folder")
            << "postgresql://quorvel@/reg?host=/tmp/x&store=/srv/s/../store"
            << "quorvel|/tmp/x|0|reg|/srv/store";
        QTest::newRow("short scheme, escaped name") << "postgres://db/%E7%99%BB%E8%AE%B0?store=/s"
                                                    << "|db|0|登记|/s";
        QTest::newRow("ipv6") << "postgresql://[::1]:6000/d?store=/s"
                              << "|::1|6000|d|/s";
        QTest::newRow("characters a URL reserves")
            << "postgresql://o%27b%20c@db/d%26x?store=/srv/a%26b%20c%3F%23"
            << "o'b c|db|0|d&x|/srv/a&b c?#";
        QTest::newRow("password in the URL") << "postgresql://a:secret@db/d?store=/s"
                                             << "error";
        QTest::newRow("no store") << "postgresql://db/d"
                                  << "error";
        QTest::newRow("relative store") << "postgresql://db/d?store=s"
                                        << "error";
        QTest::newRow("no database") << "postgresql://db/?store=/s"
                                     << "error";
        QTest::newRow("bad port") << "postgresql://db:x/d?store=/s"
                                  << "error";
    }
    void urlsAndSettingsAreRead()
    {
        QFETCH(QString, url);
        QFETCH(QString, expected);
        const Result<PgTarget> target = PgTarget::fromUrl(url);
        if (expected == QLatin1String("error")) {
            QVERIFY(!target);
            QVERIFY(!target.error().fullText().contains(QStringLiteral("secret")));
            return;
        }
        QVERIFY2(target, qPrintable(target ? QString() : target.error().message));
        QCOMPARE(QStringList({target->user, target->host, QString::number(target->port),
                              target->database, target->storeFolder})
                     .join(QLatin1Char('|')),
                 expected);
        // The address shown for it names the same register again.
        const Result<PgTarget> again = PgTarget::fromUrl(target->address());
        QVERIFY2(again, qPrintable(target->address()));
        QCOMPARE(QStringList({again->user, again->host, QString::number(again->port),
                              again->database, again->storeFolder})
                     .join(QLatin1Char('|')),
                 expected);
    }

    void initThenInfoThroughAUrl()
    {
        NEED_SERVER(cluster);
        QTemporaryDir dir;
        const QString url =
            cluster->url(cluster->createDatabase(), dir.filePath(QStringLiteral("store")));
        // Nothing is made by a command that only reads.
        CliRun missing = runCommandLine(url, {QStringLiteral("info")});
        QVERIFY(missing.status != 0);
        QVERIFY(missing.err.contains(QStringLiteral("没有找到登记库")));

        CliRun created = runCommandLine(url, {QStringLiteral("init")});
        QCOMPARE(created.status, 0);
        QVERIFY2(created.out.contains(QStringLiteral("已创建登记库: PostgreSQL（")),
                 qPrintable(created.out + created.err));
        QVERIFY(QDir(dir.filePath(QStringLiteral("store"))).exists());
        QVERIFY(
            runCommandLine(url, {QStringLiteral("init")}).out.contains(QStringLiteral("已存在")));

        TestFiles::write(dir.filePath(QStringLiteral("a.txt")), "a");
        QCOMPARE(runCommandLine(url, {QStringLiteral("add"), dir.filePath(QStringLiteral("a.txt"))})
                     .status,
                 0);
        CliRun info = runCommandLine(url, {QStringLiteral("info")});
        QCOMPARE(info.status, 0);
        QVERIFY2(info.out.contains(QStringLiteral("类型:         PostgreSQL（%1/register_")
                                       .arg(cluster->socketFolder())),
                 qPrintable(info.out));
        QVERIFY(info.out.contains(QStringLiteral("记录数:       1")));
        // The address it shows is one the commands take.
        const QString shownAddress =
            QRegularExpression(QStringLiteral("数据库: *(\\S+)")).match(info.out).captured(1);
        CliRun list =
            runCommandLine(shownAddress, {QStringLiteral("list"), QStringLiteral("--name"),
                                          QStringLiteral("A.TXT")});
        QCOMPARE(list.status, 0);
        QVERIFY2(list.out.contains(QStringLiteral("a.txt")), qPrintable(list.out + list.err));
    }

    void settingsFileMakesAFolderAServerRegister()
    {
        NEED_SERVER(cluster);
        QTemporaryDir dir;
        QFile settings(dir.filePath(PgTarget::settingsFile));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write(
            QStringLiteral("[database]\nserver=%1\ndatabase=%2\nuser=%3\n"
                           "[store]\nfolder=副本\n")
                .arg(cluster->socketFolder(), cluster->createDatabase(), PgCluster::user())
                .toUtf8());
        settings.close();
        CliRun created = runCommandLine(dir.path(), {QStringLiteral("init")});
        QCOMPARE(created.status, 0);
        QVERIFY(QDir(dir.filePath(QStringLiteral("副本"))).exists());
        CliRun info = runCommandLine(dir.path(), {QStringLiteral("info")});
        QVERIFY(info.out.contains(QStringLiteral("类型:         PostgreSQL")));
        QVERIFY(info.out.contains(dir.filePath(QStringLiteral("副本"))));
        // No SQLite file appears beside the settings.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{PgTarget::settingsFile});
    }

    void databaseOfAnotherProgramIsNeverTouched()
    {
        NEED_SERVER(cluster);
        const QString database = cluster->createDatabase();
        {
            QSqlDatabase db =
                QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("other"));
            db.setHostName(cluster->socketFolder());
            db.setDatabaseName(database);
            db.setUserName(PgCluster::user());
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("CREATE TABLE invoices (id int)")));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
        QTemporaryDir dir;
        CliRun refused =
            runCommandLine(cluster->url(database, dir.path()), {QStringLiteral("init")});
        QVERIFY(refused.status != 0);
        QVERIFY2(refused.err.contains(QStringLiteral("不是 Quorvel 登记库")),
                 qPrintable(refused.err));
    }

    // One open register goes on after the server restarted under it: a
    // write, a read, and the live refresh, which hears of changes made
    // meanwhile and of later ones.
    void openRegisterOutlivesAServerRestart()
    {
        NEED_SERVER(cluster);
        QTemporaryDir dir;
        const QString url =
            cluster->url(cluster->createDatabase(), dir.filePath(QStringLiteral("store")));
        Result<Register> reg = Register::open(url);
        QVERIFY(reg);
        RegisterWatch watch(*reg, nullptr, 20);
        QSignalSpy changed(&watch, &RegisterWatch::changed);
        const QString source = dir.filePath(QStringLiteral("a.txt"));
        TestFiles::write(source, "a");
        const Intake::Details details{.date = QDate(2024, 5, 6)};
        for (int round = 0; round < 2; ++round) {
            QVERIFY(cluster->restart());
            const Intake::Outcome added =
                Intake::DdtaUp(*reg, Intake::File::fromPath(source), details);
            QVERIFY2(added.kind == Intake::Outcome::Registered, qPrintable(added.error.fullText()));
            QCOMPARE(reg->records()->recordCount().value(), 2 * round + 1);
            QTRY_VERIFY(!changed.isEmpty());
            changed.clear();
            QProcess other;
            other.start(QStringLiteral(QUORVEL_CLI),
                        {QStringLiteral("--register"), url, QStringLiteral("add"), source});
            QVERIFY(other.waitForFinished(60000) && other.exitCode() == 0);
            QTRY_VERIFY(!changed.isEmpty());
            changed.clear();
            QCOMPARE(reg->records()->recordCount().value(), 2 * round + 2);
        }
        reg->closeConnection();
    }

    // A COMMIT the server carried out whose answer came back as a failure,
    // on a connection still in order: the outcome is looked up, found made,
    // and nothing of the change is undone.
    void commitThatLandedDespiteItsFailureStands_data()
    {
        QTest::addColumn<bool>("deleting");
        QTest::newRow("add") << false;
        QTest::newRow("delete") << true;
    }
    void commitThatLandedDespiteItsFailureStands()
    {
        QFETCH(bool, deleting);
        NEED_SERVER(cluster);
        qputenv("PGSSLMODE", "disable");
        qputenv("PGGSSENCMODE", "disable");
        PgProxy proxy(cluster->socketFolder());
        QTemporaryDir dir;
        Result<Register> reg =
            Register::open(QStringLiteral("postgresql://%1@127.0.0.1:%2/%3?store=%4")
                               .arg(PgCluster::user())
                               .arg(proxy.port())
                               .arg(cluster->createDatabase(), dir.filePath(QStringLiteral("s"))));
        QVERIFY(reg);
        const QString source = dir.filePath(QStringLiteral("a.txt"));
        TestFiles::write(source, "a");
        if (!deleting)
            proxy.refuseNextCommit();
        const Intake::Outcome added =
            Intake::DdtaUp(*reg, Intake::File::fromPath(source), {.date = QDate(2024, 5, 6)});
        QVERIFY2(added.kind == Intake::Outcome::Registered, qPrintable(added.error.fullText()));
        if (deleting) {
            const Result<QVariant> rowid = Sql::scalar(
                reg->database(),
                QStringLiteral("SELECT %1 FROM 文件管理").arg(TempRegister::identityColumn(*reg)));
            QVERIFY(rowid);
            proxy.refuseNextCommit();
            const Status deleted =
                RecordDelete::deleteRecord(*reg, {rowid->toLongLong(), added.storedName});
            QVERIFY2(deleted, qPrintable(deleted ? QString() : deleted.error().fullText()));
        }
        QCOMPARE(proxy.refused(), 1);
        QCOMPARE(reg->records()->recordCount().value(), deleting ? 0 : 1);
        const Result<Integrity::Report> report = Integrity::check(*reg, {});
        QVERIFY(report);
        QVERIFY2(report->findings.isEmpty(), qPrintable(report->findings.value(0).text()));
        reg->closeConnection();
        qunsetenv("PGSSLMODE");
        qunsetenv("PGGSSENCMODE");
    }

    // An add held just before its commit while the server is stopped under
    // it: once the server is back the add knows it was rolled back, says so
    // and takes its copies back; while it is down the add cannot know, says
    // that, and keeps its copies for `check` to report.
    void addCutByTheServerStoppingIsNotReportedDone_data()
    {
        QTest::addColumn<bool>("backBeforeCommit");
        QTest::addColumn<QString>("said");
        QTest::newRow("server back") << true << QStringLiteral("更改未保存，未做任何更改");
        QTest::newRow("server still down") << false << QStringLiteral("无法确认更改是否已保存");
    }
    void addCutByTheServerStoppingIsNotReportedDone()
    {
        QFETCH(bool, backBeforeCommit);
        QFETCH(QString, said);
        NEED_SERVER(cluster);
        QTemporaryDir dir;
        const QString url =
            cluster->url(cluster->createDatabase(), dir.filePath(QStringLiteral("store")));
        QStringList command{QStringLiteral("--register"), url, QStringLiteral("add")};
        for (const char* name : {"a.txt", "b.txt"}) {
            command << dir.filePath(QString::fromLatin1(name));
            TestFiles::write(command.last(), name);
        }
        QCOMPARE(runCommandLine(url, {QStringLiteral("init")}).status, 0);
        const CliRun first = runCommandLine(url, {QStringLiteral("add"), command.last()});
        QVERIFY2(first.status == 0, qPrintable(first.err));
        const PausePoint pause{dir.path(), QStringLiteral("intake-before-commit")};
        QProcess add;
        add.setProcessEnvironment(pause.environment());
        add.start(QStringLiteral(QUORVEL_CLI), command);
        QVERIFY(pause.waitReached());
        QVERIFY(cluster->stop());
        if (backBeforeCommit)
            QVERIFY(cluster->resume());
        pause.release();
        QVERIFY(add.waitForFinished(60000));
        const QString err = QString::fromUtf8(add.readAllStandardError());
        if (!backBeforeCommit)
            QVERIFY(cluster->resume());
        QCOMPARE(add.exitCode(), 1);
        QVERIFY2(err.contains(said), qPrintable(err));
        QVERIFY(add.readAllStandardOutput().isEmpty());

        Result<Register> reg = Register::open(url, Register::Mode::MustExist);
        QVERIFY(reg);
        QCOMPARE(reg->records()->recordCount().value(), 1);
        const Result<Integrity::Report> report = Integrity::check(*reg, {});
        QVERIFY(report);
        QStringList stray;
        for (const Integrity::Finding& finding : report->findings) {
            QVERIFY2(finding.kind == Integrity::Kind::StrayFile, qPrintable(finding.text()));
            stray << finding.name;
        }
        // Kept only where the add could not know; never one without its content.
        QCOMPARE(stray.size(), backBeforeCommit ? 0 : 2);
        for (const QString& name : stray)
            QCOMPARE(TestFiles::read(reg->storedCopyPath(name)).size(), 5);
        reg->closeConnection();
    }
};

QTEST_GUILESS_MAIN(TestServerRegister)
#include "test_server_register.moc"
