// Several programs on one register at once: real quorvel-cli processes
// adding and modifying side by side, a repair while another program adds or
// deletes, and a register held locked by another connection for longer than
// the busy wait. Most cases run on an SQLite register and on a server's.

#include "intake/Intake.h"
#include "integrity/IntegrityCheck.h"
#include "modify/RecordModify.h"
#include "operations/RecordDelete.h"
#include "store/RegisterNames.h"
#include "store/SeenRecord.h"
#include "store/pg/PgSql.h"
#include "store/sql/Sql.h"
#include "support/PausePoint.h"
#include "support/PgCluster.h"
#include "support/RegisterKinds.h"
#include "support/TempRegister.h"
#include "trash/Trash.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <thread>

#include <csignal>
#include <sqlite3.h>

namespace {

const QString busyText = QStringLiteral("登记库正被其他程序使用，请稍后再试。");

// Another program's connection holding the write lock until destroyed.
class WriteLock {
public:
    explicit WriteLock(const Register& reg)
    {
        const PgTarget* server = reg.server();
        QSqlDatabase db = QSqlDatabase::addDatabase(
            server ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), name());
        if (server) {
            db.setHostName(server->host);
            db.setDatabaseName(server->database);
            db.setUserName(server->user);
        } else {
            db.setDatabaseName(reg.databasePath());
        }
        if (!db.open() ||
            !QSqlQuery(db).exec(server ? QStringLiteral("BEGIN")
                                       : QStringLiteral("BEGIN IMMEDIATE")) ||
            (server &&
             !QSqlQuery(db).exec(
                 QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(PgSql::writeLock))))
            qFatal("cannot hold the register locked");
    }
    ~WriteLock()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(name());
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            db.close();
        }
        QSqlDatabase::removeDatabase(name());
    }

private:
    static QString name() { return QStringLiteral("other-program"); }
};

std::unique_ptr<QProcess> startCli(const QString& reg, const QStringList& command)
{
    auto process = std::make_unique<QProcess>();
    process->start(QStringLiteral(QUORVEL_CLI),
                   QStringList{QStringLiteral("--register"), reg} + command);
    return process;
}

QString finish(QProcess& process, int* exitCode)
{
    if (!process.waitForFinished(60000))
        qFatal("quorvel-cli did not finish");
    *exitCode = process.exitCode();
    return QString::fromUtf8(process.readAllStandardError());
}

// Sets every file in `folder` an hour back, as a slow batch would leave them.
void ageFiles(const QString& folder)
{
    const timespec old = {std::time(nullptr) - 3600, 0};
    const timespec times[2] = {old, old};
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System))
        ::utimensat(AT_FDCWD, QFile::encodeName(folder + QLatin1Char('/') + name).constData(),
                    times, AT_SYMLINK_NOFOLLOW);
}

} // namespace

class TestConcurrentUse : public QObject {
    Q_OBJECT

    QStringList makeFiles(const QString& folder, const QString& prefix, int count)
    {
        QStringList paths;
        QDir().mkpath(folder);
        for (int i = 0; i < count; ++i) {
            const QString path =
                QDir(folder).filePath(QStringLiteral("%1-%2.txt").arg(prefix).arg(i));
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) ||
                file.write(QStringLiteral("%1 %2\n").arg(prefix).arg(i).repeated(200).toUtf8()) < 0)
                qFatal("cannot write source");
            paths << path;
        }
        return paths;
    }

private Q_SLOTS:
    void twoProgramsAddingAndModifyingAtOnce_data() { kinds(); }
    void twoProgramsAddingAndModifyingAtOnce()
    {
        QFETCH(bool, server);
        NEED_KIND(server);
        TempRegister temp(kindOf(server));
        QTemporaryDir sources;
        const QString reg = temp.location();
        // Same names from both sides, so the stored names clash as well.
        const QStringList first =
            makeFiles(sources.filePath(QStringLiteral("a")), QStringLiteral("f"), 12);
        const QStringList second =
            makeFiles(sources.filePath(QStringLiteral("b")), QStringLiteral("f"), 12);
        temp.reg().closeConnection();

        auto a = startCli(reg, QStringList{QStringLiteral("add"), QStringLiteral("--remark"),
                                           QStringLiteral("甲")} +
                                   first);
        auto b = startCli(reg, QStringList{QStringLiteral("add"), QStringLiteral("--remark"),
                                           QStringLiteral("乙")} +
                                   second);
        // This process adds too, through the core, as the window does.
        QList<Intake::File> mine;
        for (const QString& path :
             makeFiles(sources.filePath(QStringLiteral("c")), QStringLiteral("f"), 6))
            mine << Intake::File::fromPath(path);
        Intake::Details details;
        details.date = QDate(2024, 1, 2);
        details.remark = QStringLiteral("丙");
        for (const Intake::Outcome& outcome : Intake::runBatch(temp.reg(), mine, details))
            QVERIFY2(outcome.kind == Intake::Outcome::Registered,
                     qPrintable(outcome.error.fullText()));
        int code = 0;
        QString err = finish(*a, &code);
        QVERIFY2(code == 0, qPrintable(err));
        err = finish(*b, &code);
        QVERIFY2(code == 0, qPrintable(err));

        QList<qint64> serials = temp.serials();
        QCOMPARE(serials.size(), 30);
        for (int i = 0; i < serials.size(); ++i)
            QCOMPARE(serials.at(i), i + 1); // unique and without gaps

        // Two programs changing different details of the same records at once:
        // neither change is lost.
        QStringList all;
        for (qint64 serial : serials)
            all << QString::number(serial);
        a = startCli(reg, QStringList{QStringLiteral("modify"), QStringLiteral("--recipient"),
                                      QStringLiteral("张三")} +
                              all);
        b = startCli(reg, QStringList{QStringLiteral("modify"), QStringLiteral("--method"),
                                      QStringLiteral("邮件")} +
                              all);
        RecordModify::Changes changes;
        changes[RecordModify::Field::Folder] = QStringLiteral("合同");
        QList<SeenRecord> records;
        {
            Result<QSqlQuery> query = Sql::run(temp.reg().database(),
                                               QStringLiteral("SELECT %3, %1 FROM %2")
                                                   .arg(Sql::identifier(RegisterNames::storedName),
                                                        Sql::identifier(RegisterNames::recordTable),
                                                        temp.identityColumn()));
            QVERIFY(query);
            while (query->next())
                records << SeenRecord{query->value(0).toLongLong(), query->value(1).toString()};
        }
        QVERIFY(RecordModify::apply(temp.reg(), records, changes));
        err = finish(*a, &code);
        QVERIFY2(code == 0, qPrintable(err));
        err = finish(*b, &code);
        QVERIFY2(code == 0, qPrintable(err));

        Result<QVariant> complete =
            Sql::scalar(temp.reg().database(),
                        QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2 = ? AND %3 = ? AND %4 = ?")
                            .arg(Sql::identifier(RegisterNames::recordTable),
                                 Sql::identifier(RegisterNames::recipient),
                                 Sql::identifier(RegisterNames::method),
                                 Sql::identifier(RegisterNames::folder)),
                        {QStringLiteral("张三"), QStringLiteral("邮件"), QStringLiteral("合同")});
        QVERIFY(complete);
        QCOMPARE(complete->toInt(), 30);

        Integrity::Options options;
        options.verify = true;
        Result<Integrity::Report> report = Integrity::check(temp.reg(), options);
        QVERIFY(report);
        QVERIFY2(report->findings.isEmpty(), qPrintable(report->findings.value(0).text()));
    }

    // Another program runs `check --repair` while an add or a delete waits
    // just before its commit: a live program's files are never touched, and
    // a killed one's are cleared at once.
    void repairWhileAnotherProgramWorks_data()
    {
        QTest::addColumn<QString>("point");
        QTest::addColumn<bool>("kill");
        QTest::addColumn<int>("records"); // afterwards
        QTest::addColumn<int>("checkStatus");
        QTest::addColumn<bool>("server");
        for (const bool server : {false, true}) {
            const char* kind = server ? "server" : "sqlite";
            QTest::addRow("%s add, running", kind)
                << QStringLiteral("intake-before-commit") << false << 4 << 0 << server;
            QTest::addRow("%s add, killed", kind)
                << QStringLiteral("intake-before-commit") << true << 1 << 0 << server;
            // The delete is not committed yet: the bin's name of its copy is reported
            // and left alone, since the delete holds the register's write lock.
            QTest::addRow("%s delete, running", kind)
                << QStringLiteral("delete-before-commit") << false << 0 << 1 << server;
            QTest::addRow("%s delete, killed", kind)
                << QStringLiteral("delete-before-commit") << true << 1 << 0 << server;
            // From the bin: a restore's new store name of the copy, and the copy a
            // purge set aside (its bin record misses it until the commit).
            QTest::addRow("%s restore, running", kind)
                << QStringLiteral("restore-before-commit") << false << 1 << 1 << server;
            QTest::addRow("%s restore, killed", kind)
                << QStringLiteral("restore-before-commit") << true << 0 << 0 << server;
            QTest::addRow("%s purge, running", kind)
                << QStringLiteral("purge-before-commit") << false << 0 << 1 << server;
            QTest::addRow("%s purge, killed", kind)
                << QStringLiteral("purge-before-commit") << true << 0 << 0 << server;
        }
    }

    void repairWhileAnotherProgramWorks()
    {
        QFETCH(QString, point);
        QFETCH(bool, kill);
        QFETCH(int, records);
        QFETCH(int, checkStatus);
        QFETCH(bool, server);
        NEED_KIND(server);
        TempRegister temp(kindOf(server));
        QTemporaryDir sources;
        QTemporaryDir meeting;
        const QString reg = temp.location();
        const QString oldPath = sources.filePath(QStringLiteral("old.txt"));
        {
            QFile old(oldPath);
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old content") == 11);
        }
        const QStringList files = makeFiles(sources.path(), QStringLiteral("new"), 3);
        temp.reg().closeConnection();
        int code = 0;
        auto first = startCli(reg, {QStringLiteral("add"), oldPath});
        QString err = finish(*first, &code);
        QVERIFY2(code == 0, qPrintable(err));

        const bool fromBin =
            point.startsWith(QLatin1String("restore")) || point.startsWith(QLatin1String("purge"));
        if (fromBin) {
            finish(*startCli(reg, {QStringLiteral("delete"), QStringLiteral("--yes"),
                                   QStringLiteral("1")}),
                   &code);
            QCOMPARE(code, 0);
        }
        const PausePoint pause{meeting.path(), point};
        QProcess writer;
        writer.setProcessEnvironment(pause.environment());
        QStringList command{QStringLiteral("delete"), QStringLiteral("--yes"), QStringLiteral("1")};
        if (point.startsWith(QLatin1String("intake")))
            command = QStringList{QStringLiteral("add")} + files;
        else if (point.startsWith(QLatin1String("restore")))
            command = {QStringLiteral("trash"), QStringLiteral("restore"), QStringLiteral("1")};
        else if (point.startsWith(QLatin1String("purge")))
            command = {QStringLiteral("trash"), QStringLiteral("purge"), QStringLiteral("--yes"),
                       QStringLiteral("1")};
        writer.start(QStringLiteral(QUORVEL_CLI),
                     QStringList{QStringLiteral("--register"), reg} + command);
        QVERIFY(pause.waitReached());
        if (kill) {
            ::kill(static_cast<pid_t>(writer.processId()), SIGKILL);
            QVERIFY(writer.waitForFinished(10000));
        } else {
            // Held far longer than any timer would wait.
            ageFiles(temp.reg().storeFolder());
        }
        auto repair = startCli(reg, {QStringLiteral("check"), QStringLiteral("--repair")});
        err = finish(*repair, &code);
        QVERIFY2(code == checkStatus,
                 qPrintable(QString::fromUtf8(repair->readAllStandardOutput()) + err));
        if (!kill) {
            pause.release();
            err = finish(writer, &code);
            QVERIFY2(code == 0, qPrintable(err));
        }

        // The register holds exactly its records' copies, each one whole.
        QCOMPARE(temp.serials().size(), records);
        Integrity::Options verify;
        verify.verify = true;
        Result<Integrity::Report> report = Integrity::check(temp.reg(), verify);
        QVERIFY(report);
        QVERIFY2(report->findings.isEmpty(), qPrintable(report->findings.value(0).text()));
        QCOMPARE(report->storeEntries, records);
        // Restored, or still in the bin, old.txt is whole; a purge that ran took it.
        const QString oldCopy = records == 1
                                    ? temp.reg().storedCopyPath(QStringLiteral("old.txt"))
                                    : temp.reg().storeFolder() + QStringLiteral("/.回收站/old.txt");
        if (records == 1 || (fromBin && (kill || !point.startsWith(QLatin1String("purge"))))) {
            QFile old(oldCopy);
            QVERIFY(old.open(QIODevice::ReadOnly));
            QCOMPARE(old.readAll(), QByteArray("old content"));
        }
    }

    void lockedRegisterSaysBusy_data() { kinds(); }
    void lockedRegisterSaysBusy()
    {
        QFETCH(bool, server);
        NEED_KIND(server);
        TempRegister temp(kindOf(server));
        QTemporaryDir sources;
        const QString reg = temp.location();
        temp.addRecord(1, QStringLiteral("a.txt"), {}, {}, QStringLiteral("2020-01-02"), {}, {},
                       "a");
        temp.addRecord(2, QStringLiteral("b.txt"), {}, {}, QStringLiteral("2020-01-02"), {}, {},
                       "b");
        const QStringList files = makeFiles(sources.path(), QStringLiteral("new"), 2);
        temp.reg().closeConnection();
        const QList<qint64> before = temp.serials();
        temp.reg().closeConnection();

        {
            WriteLock lock(temp.reg());
            // Every writing command at once, so the waits overlap.
            std::vector<std::unique_ptr<QProcess>> processes;
            processes.push_back(startCli(reg, QStringList{QStringLiteral("add")} + files));
            processes.push_back(startCli(reg, {QStringLiteral("modify"), QStringLiteral("--remark"),
                                               QStringLiteral("x"), QStringLiteral("1")}));
            processes.push_back(startCli(reg, {QStringLiteral("move-down"), QStringLiteral("1")}));
            processes.push_back(startCli(
                reg, {QStringLiteral("delete"), QStringLiteral("--yes"), QStringLiteral("2")}));
            // And the core in this process, as the window would call it.
            Intake::Details details;
            details.date = QDate(2024, 1, 2);
            const Intake::Outcome outcome =
                Intake::DdtaUp(temp.reg(), Intake::File::fromPath(files.at(0)), details);
            QCOMPARE(outcome.kind, Intake::Outcome::Failed);
            QCOMPARE(outcome.error.message, busyText);
            for (auto& process : processes) {
                int code = 0;
                const QString err = finish(*process, &code);
                QVERIFY2(code != 0, qPrintable(process->arguments().join(u' ')));
                QVERIFY2(err.contains(busyText), qPrintable(err));
            }
        }
        // Nothing was done, nothing is left behind, and the register works again.
        QCOMPARE(temp.serials(), before);
        const QStringList store = QDir(temp.reg().storeFolder())
                                      .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
        QCOMPARE(store.size(), 2);
        temp.reg().closeConnection();
        auto again = startCli(reg, QStringList{QStringLiteral("add")} + files);
        int code = 0;
        const QString err = finish(*again, &code);
        QVERIFY2(code == 0, qPrintable(err));
        QCOMPARE(temp.serials(), (QList<qint64>{1, 2, 3, 4}));
    }

    // A program that keeps even readers out for a while (as the last one to
    // close does while it folds the log back in) makes others wait and then
    // say busy: never that the register is someone else's file.
    void exclusivelyHeldRegisterIsBusyNotForeign()
    {
        TempRegister temp;
        temp.addRecord(1, QStringLiteral("a.txt"));
        temp.reg().closeConnection();
        sqlite3* other = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(temp.reg().databasePath()).constData(), &other),
                 SQLITE_OK);
        QCOMPARE(sqlite3_exec(other, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; COMMIT;",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        auto info = startCli(temp.folder(), {QStringLiteral("info")});
        int code = 0;
        const QString err = finish(*info, &code);
        sqlite3_close(other);
        QCOMPARE(code, 1);
        QVERIFY2(err.contains(busyText), qPrintable(err));
        QVERIFY2(!err.contains(QStringLiteral("不是 Quorvel 登记库")), qPrintable(err));
        info = startCli(temp.folder(), {QStringLiteral("info")});
        finish(*info, &code);
        QCOMPARE(code, 0);
    }

    // Killed after its first group was committed, a batch has printed every
    // record it registered, so a retry knows what not to add again.
    void killedBatchNamesWhatItRegistered_data() { kinds(); }
    void killedBatchNamesWhatItRegistered()
    {
        QFETCH(bool, server);
        NEED_KIND(server);
        TempRegister temp(kindOf(server));
        QTemporaryDir sources;
        // A name with a line break first: it must not split its line.
        QStringList files{sources.filePath(QStringLiteral("two\nlines.txt"))};
        QFile odd(files.first());
        QVERIFY(odd.open(QIODevice::WriteOnly) && odd.write("odd") == 3);
        odd.close();
        files << makeFiles(sources.path(), QStringLiteral("f"), 70);
        temp.reg().closeConnection();
        const PausePoint pause{sources.path(), QStringLiteral("intake-group-reported")};
        QProcess add;
        add.setProcessEnvironment(pause.environment());
        add.start(QStringLiteral(QUORVEL_CLI), QStringList{QStringLiteral("--register"),
                                                           temp.location(), QStringLiteral("add")} +
                                                   files);
        QVERIFY(pause.waitReached());
        ::kill(pid_t(add.processId()), SIGKILL);
        QVERIFY(add.waitForFinished(10000));

        QStringList printed = QString::fromUtf8(add.readAllStandardOutput())
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QStringList registered;
        Result<QSqlQuery> query =
            Sql::run(temp.reg().database(), QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY %1")
                                                .arg(Sql::identifier(RegisterNames::serial),
                                                     Sql::identifier(RegisterNames::storedName),
                                                     Sql::identifier(RegisterNames::recordTable)));
        QVERIFY(query);
        while (query->next())
            registered << query->value(0).toString() + QLatin1Char('\t') +
                              query->value(1).toString().replace(QLatin1Char('\n'),
                                                                 QStringLiteral("\\n"));
        QVERIFY(!registered.isEmpty());
        QVERIFY(registered.size() < files.size());
        QCOMPARE(printed, registered);
        // The line break is not carried into the stored name.
        QCOMPARE(printed.first(), QStringLiteral("1\ttwo_lines.txt"));
    }

    // A delete held between the question and its transaction while another
    // program deletes the record and adds a file: the new file is kept.
    void deleteOfARecordReplacedMeanwhileDoesNothing_data() { kinds(); }
    void deleteOfARecordReplacedMeanwhileDoesNothing()
    {
        QFETCH(bool, server);
        NEED_KIND(server);
        TempRegister temp(kindOf(server));
        QTemporaryDir sources;
        QTemporaryDir meeting;
        const QString reg = temp.location();
        for (qint64 serial : {1, 2, 3})
            temp.addRecord(serial, QStringLiteral("old%1.txt").arg(serial), {}, {},
                           QStringLiteral("2020-01-02"), {}, {}, "old");
        const QStringList files = makeFiles(sources.path(), QStringLiteral("new"), 1);
        temp.reg().closeConnection();

        const PausePoint pause{meeting.path(), QStringLiteral("delete-confirmed")};
        QProcess held;
        held.setProcessEnvironment(pause.environment());
        held.start(QStringLiteral(QUORVEL_CLI),
                   {QStringLiteral("--register"), reg, QStringLiteral("delete"),
                    QStringLiteral("--yes"), QStringLiteral("3")});
        QVERIFY(pause.waitReached());
        int code = 0;
        QString err = finish(*startCli(reg, {QStringLiteral("delete"), QStringLiteral("--yes"),
                                             QStringLiteral("3")}),
                             &code);
        QVERIFY2(code == 0, qPrintable(err));
        err = finish(*startCli(reg, QStringList{QStringLiteral("add")} + files), &code);
        QVERIFY2(code == 0, qPrintable(err));
        pause.release();

        err = finish(held, &code);
        QCOMPARE(code, 1);
        QVERIFY2(err.contains(changedText), qPrintable(err));
        QVERIFY(
            !QString::fromUtf8(held.readAllStandardOutput()).contains(QStringLiteral("已删除")));
        QCOMPARE(temp.serials(), (QList<qint64>{1, 2, 3}));
        const QString kept =
            Sql::scalar(temp.reg().database(),
                        QStringLiteral("SELECT 路径 FROM 文件管理 WHERE 文件序号 = 3"))
                ->toString();
        QCOMPARE(kept, QStringLiteral("new-0.txt"));
        QVERIFY(QFile::exists(temp.reg().storedCopyPath(kept)));
    }

    // `check` run again and again beside writers that keep adding, deleting
    // and restoring: what it catches them in the middle of is no finding.
    void checkBesideBusyWritersFindsNothing_data() { kinds(); }
    void checkBesideBusyWritersFindsNothing()
    {
        QFETCH(bool, server);
        NEED_KIND(server);
        TempRegister temp(kindOf(server));
        QTemporaryDir sources;
        const QStringList files = makeFiles(sources.path(), QStringLiteral("w"), 4);
        const Register& reg = temp.reg();
        const QString identityOf =
            QStringLiteral("SELECT %1 FROM 文件管理 WHERE 路径 = ?").arg(temp.identityColumn());
        std::atomic_bool stop = false;
        std::atomic_int changes = 0;
        std::vector<std::thread> writers;
        for (const QString& file : files) {
            writers.emplace_back([&, file] {
                const Intake::Details details{.date = QDate(2024, 1, 2)};
                for (int round = 0; !stop; ++round) {
                    const Intake::Outcome added =
                        Intake::DdtaUp(reg, Intake::File::fromPath(file), details);
                    const Result<QVariant> identity =
                        Sql::scalar(reg.database(), identityOf, {added.storedName});
                    if (added.kind != Intake::Outcome::Registered || !identity)
                        continue;
                    const qint64 rowid = identity->toLongLong();
                    // Every other record stays in the bin.
                    if (RecordDelete::deleteRecord(reg, {rowid, added.storedName}) &&
                        (round % 2 == 0 || Trash::restore(reg, rowid)))
                        ++changes;
                }
                reg.closeConnection();
            });
        }
        QStringList found;
        int checks = 0;
        for (const QDeadlineTimer deadline(4000); !deadline.hasExpired(); ++checks) {
            Integrity::Options options;
            options.verify = checks % 2 == 1;
            const Result<Integrity::Report> report = Integrity::check(reg, options);
            if (!report)
                found << report.error().fullText();
            for (const Integrity::Finding& finding :
                 report ? report->findings : QList<Integrity::Finding>())
                found << finding.text();
        }
        stop = true;
        for (std::thread& writer : writers)
            writer.join();
        QVERIFY2(changes >= 10 && checks >= 10,
                 qPrintable(QStringLiteral("%1 changes, %2 checks").arg(changes).arg(checks)));
        QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))));
    }

    // A backup racing a delete holds one moment: started while the delete has
    // set the copy aside, it waits for the delete; a copy deleted after its
    // moment makes it take a newer one. Either way every record it holds has
    // its copy.
    void backupRacingADeleteHoldsOneMoment_data()
    {
        QTest::addColumn<QString>("point");
        QTest::newRow("delete held before its commit") << QStringLiteral("delete-before-commit");
        QTest::newRow("backup held after its moment") << QStringLiteral("backup-snapshot-taken");
    }

    void backupRacingADeleteHoldsOneMoment()
    {
        QFETCH(QString, point);
        TempRegister temp;
        QTemporaryDir sources;
        QTemporaryDir meeting;
        QTemporaryDir place;
        const QString reg = temp.location();
        const QString backup = place.filePath(QStringLiteral("backup"));
        temp.reg().closeConnection();
        int code = 0;
        QString err = finish(*startCli(reg, QStringList{QStringLiteral("add")} +
                                                makeFiles(sources.path(), QStringLiteral("f"), 3)),
                             &code);
        QVERIFY2(code == 0, qPrintable(err));

        const QStringList deleteCommand = {QStringLiteral("delete"), QStringLiteral("--yes"),
                                           QStringLiteral("2")};
        const QStringList backupCommand = {QStringLiteral("backup"), backup};
        const bool deleteHeld = point.startsWith(QLatin1String("delete"));
        const PausePoint pause{meeting.path(), point};
        QProcess held;
        held.setProcessEnvironment(pause.environment());
        held.start(QStringLiteral(QUORVEL_CLI), QStringList{QStringLiteral("--register"), reg} +
                                                    (deleteHeld ? deleteCommand : backupCommand));
        QVERIFY(pause.waitReached());
        std::unique_ptr<QProcess> other = startCli(reg, deleteHeld ? backupCommand : deleteCommand);
        if (deleteHeld) {
            QThread::msleep(300); // the backup now waits for the delete's commit
        } else {
            err = finish(*other, &code);
            QVERIFY2(code == 0, qPrintable(err));
        }
        pause.release();
        err = finish(held, &code);
        QVERIFY2(code == 0, qPrintable(err));
        if (deleteHeld) {
            err = finish(*other, &code);
            QVERIFY2(code == 0, qPrintable(err));
        }

        err = finish(*startCli(reg, {QStringLiteral("backup"), QStringLiteral("--verify"), backup}),
                     &code);
        QVERIFY2(code == 0, qPrintable(err));
        const QString restored = place.filePath(QStringLiteral("restored"));
        err = finish(*startCli(restored, {QStringLiteral("restore"), backup}), &code);
        QVERIFY2(code == 0, qPrintable(err));
        err = finish(*startCli(restored, {QStringLiteral("check"), QStringLiteral("--verify")}),
                     &code);
        QVERIFY2(code == 0, qPrintable(err));
        QCOMPARE(QDir(restored + QStringLiteral("/随机文件")).entryList(QDir::Files).size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestConcurrentUse)
#include "test_concurrent_use.moc"
