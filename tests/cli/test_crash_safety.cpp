// Kills the real quorvel-cli at random moments of a batch add, a batch
// modify, a move, a delete into the recycle bin, a restore or purge from it
// (on an SQLite register and on one on a server) and the conversion of an
// old register, some of them while another quorvel-cli runs `check
// --repair`, and checks after every kill that the register is whole: it
// opens, the integrity check finds only leftovers it may remove at once,
// every record's copy is complete, serials are unique, and each change
// happened wholly or not at all.

#include "integrity/IntegrityCheck.h"
#include "store/RecordStore.h"
#include "store/RecycleBin.h"
#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "store/sqlite/Schema.h"
#include "support/LegacyFixture.h"
#include "support/PausePoint.h"
#include "support/PgCluster.h"
#include "support/RegisterKinds.h"
#include "support/TempRegister.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <map>
#include <thread>

namespace {

struct Row {
    qint64 rowid = 0;
    QVariant serial;
    QString fileName;
    QString storedName;
    QString remark;
    QString recipient;
};

bool operator==(const Row& a, const Row& b)
{
    return a.rowid == b.rowid && a.serial == b.serial && a.fileName == b.fileName &&
           a.storedName == b.storedName && a.remark == b.remark && a.recipient == b.recipient;
}

QByteArray digestOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

} // namespace

// A server case without the test server (and without QUORVEL_REQUIRE_PG) is skipped.
#define SKIP_WITHOUT_REGISTER()                                                                    \
    if (!m_registers.contains(QString::fromLatin1(QTest::currentDataTag())))                       \
        QSKIP("no PostgreSQL test server");

class TestCrashSafety : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    // The register each kind's cases work on, by data tag; SQLite's alone untagged.
    QMap<QString, QString> m_registers;
    QString m_sources;
    std::map<QString, QByteArray> m_sourceDigests; // file name → digest
    QSet<QString> m_verifiedCopies;                // paths of copies already compared
    QRandomGenerator m_random{20240611};
    int m_kills = 0;
    int m_finished = 0;
    int m_repairs = 0;
    QMap<QString, qint64> m_commandTime; // a short command's whole run, measured per register

    // The register of the running case's kind.
    QString currentRegister() const
    {
        return m_registers.value(QString::fromLatin1(QTest::currentDataTag()),
                                 m_registers.value(QStringLiteral("sqlite")));
    }

    QStringList cliArguments(const QStringList& command, const QString& folder = {}) const
    {
        return QStringList{QStringLiteral("--register"),
                           folder.isEmpty() ? currentRegister() : folder} +
               command;
    }

    qint64 commandTime() const { return m_commandTime.value(currentRegister()); }

    Register openRegister(const QString& location = {}) const
    {
        Result<Register> reg = Register::open(location.isEmpty() ? currentRegister() : location,
                                              Register::Mode::MustExist);
        if (!reg)
            qFatal("register does not open: %s", qPrintable(reg.error().fullText()));
        return reg.value();
    }

    // Runs the command to its end; returns how long it took.
    qint64 runToEnd(const QStringList& command)
    {
        QElapsedTimer timer;
        timer.start();
        QProcess process;
        process.start(QStringLiteral(QUORVEL_CLI), cliArguments(command));
        if (!process.waitForFinished(60000))
            qFatal("quorvel-cli did not finish");
        if (process.exitCode() != 0)
            qFatal("quorvel-cli failed: %s", process.readAllStandardError().constData());
        return timer.elapsed();
    }

    // Starts the command and kills it after a random part of `typical` ms;
    // with `repairing`, another program repairs the register from a random
    // moment before that on.
    void runAndKill(const QStringList& command, qint64 typical, bool repairing = false,
                    const QString& folder = {}, int expectedExit = 0)
    {
        QProcess process;
        process.start(QStringLiteral(QUORVEL_CLI), cliArguments(command, folder));
        QVERIFY(process.waitForStarted());
        qint64 delay = m_random.bounded(qMax<qint64>(typical * 11 / 10, 2));
        QProcess repair;
        if (repairing) {
            const qint64 before = m_random.bounded(qMax<qint64>(delay, 1));
            process.waitForFinished(static_cast<int>(before));
            repair.start(QStringLiteral(QUORVEL_CLI),
                         cliArguments({QStringLiteral("check"), QStringLiteral("--repair")}));
            delay -= before;
        }
        const bool finished = process.state() == QProcess::NotRunning ||
                              (delay > 0 && process.waitForFinished(static_cast<int>(delay)));
        if (finished) {
            ++m_finished;
            QCOMPARE(process.exitCode(), expectedExit);
        } else {
            ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
            QVERIFY(process.waitForFinished(10000));
            ++m_kills;
        }
        if (repairing) {
            // 1: it found something to report, such as a delete in progress.
            QVERIFY(repair.waitForFinished(60000));
            QVERIFY2(repair.exitStatus() == QProcess::NormalExit && repair.exitCode() <= 1,
                     repair.readAllStandardError().constData());
            ++m_repairs;
        }
    }

    QList<Row> rows()
    {
        using namespace RegisterNames;
        const std::optional<Register> reg(openRegister());
        QList<Row> result;
        {
            Result<QSqlQuery> query = Sql::run(
                reg->database(), QStringLiteral("SELECT %7, %1, %2, %3, %4, %5 FROM %6 "
                                                "ORDER BY %1, %7")
                                     .arg(Sql::identifier(serial), Sql::identifier(fileName),
                                          Sql::identifier(storedName), Sql::identifier(remark),
                                          Sql::identifier(recipient), Sql::identifier(recordTable),
                                          TempRegister::identityColumn(*reg)));
            if (!query)
                qFatal("cannot read records: %s", qPrintable(query.error().fullText()));
            while (query->next())
                result << Row{query->value(0).toLongLong(), query->value(1),
                              query->value(2).toString(),   query->value(3).toString(),
                              query->value(4).toString(),   query->value(5).toString()};
        }
        reg->closeConnection();
        return result;
    }

    QList<RecycleBin::Entry> binEntries()
    {
        const std::optional<Register> reg(openRegister());
        Result<QList<RecycleBin::Entry>> entries = reg->records()->binEntries();
        if (!entries)
            qFatal("cannot read the bin: %s", qPrintable(entries.error().fullText()));
        reg->closeConnection();
        return entries.value();
    }

    // The register after a kill: opens, holds only removable leftovers, and
    // after repair is clean with every copy complete and serials unique.
    void verifyWhole()
    {
        const std::optional<Register> reg(openRegister());
        // The killed program is gone: its leftovers may go at once.
        Integrity::Options options;
        Result<Integrity::Report> found = Integrity::check(*reg, options);
        QVERIFY(found);
        QSet<qint64> restorable;
        for (const Integrity::Finding& finding : found->findings) {
            if (finding.kind == Integrity::Kind::Leftover && finding.removable && finding.rowid)
                restorable << finding.rowid;
        }
        for (const Integrity::Finding& finding : found->findings) {
            // An interrupted delete or purge may leave the record (in the
            // register or the bin) with its copy set aside; repair puts it back.
            const bool allowed = (finding.kind == Integrity::Kind::Leftover && finding.removable) ||
                                 ((finding.kind == Integrity::Kind::MissingCopy ||
                                   finding.kind == Integrity::Kind::BinMissingCopy) &&
                                  restorable.contains(finding.rowid));
            QVERIFY2(allowed, qPrintable(finding.text()));
        }
        options.repair = true;
        QVERIFY(Integrity::check(*reg, options));
        options.repair = false;
        Result<Integrity::Report> after = Integrity::check(*reg, options);
        QVERIFY(after);
        QVERIFY2(after->findings.isEmpty(), qPrintable(after->findings.value(0).text()));

        QSet<QString> serials;
        for (const Row& row : rows()) {
            QVERIFY2(!serials.contains(row.serial.toString()), qPrintable(row.serial.toString()));
            serials << row.serial.toString();
            const QString copy = reg->storedCopyPath(row.storedName);
            if (m_verifiedCopies.contains(copy))
                continue;
            const auto source = m_sourceDigests.find(row.fileName);
            QVERIFY2(source != m_sourceDigests.end(), qPrintable(row.fileName));
            QCOMPARE(digestOf(copy), source->second);
            m_verifiedCopies << copy;
        }
        // Every record in the bin has its whole copy there.
        const QList<RecycleBin::Entry> inBin = reg->records()->binEntries().value();
        for (const RecycleBin::Entry& entry : inBin) {
            const auto source = m_sourceDigests.find(entry.record.fileName);
            QVERIFY2(source != m_sourceDigests.end(), qPrintable(entry.record.fileName));
            QCOMPARE(digestOf(reg->storeFolder() + QLatin1Char('/') + RecycleBin::folderName +
                              QLatin1Char('/') + entry.binName),
                     source->second);
        }
        reg->closeConnection();
    }

    QStringList serialsOf(const QList<Row>& list)
    {
        QStringList result;
        for (const Row& row : list)
            result << row.serial.toString();
        return result;
    }

    QStringList batchAddCommand() const
    {
        QStringList command{QStringLiteral("add"), QStringLiteral("--remark"),
                            QStringLiteral("批量")};
        for (const auto& source : m_sourceDigests)
            command << QDir(m_sources).filePath(source.first);
        return command;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_registers[QStringLiteral("sqlite")] = m_dir.filePath(QStringLiteral("register"));
        QString whyNot;
        if (PgCluster* cluster = PgCluster::shared(&whyNot))
            m_registers[QString::fromLatin1(kindName(true))] = cluster->url(
                cluster->createDatabase(), m_dir.filePath(QStringLiteral("server-store")));
        else if (PgCluster::required())
            QFAIL(qPrintable(QStringLiteral("no PostgreSQL test server: ") + whyNot));
        m_sources = m_dir.filePath(QStringLiteral("sources"));
        QVERIFY(QDir().mkpath(m_sources));
        for (const QString& location : std::as_const(m_registers)) {
            Result<Register> created = Register::open(location);
            QVERIFY(created);
            created->closeConnection();
            QElapsedTimer timer;
            timer.start();
            QProcess list;
            list.start(QStringLiteral(QUORVEL_CLI),
                       {QStringLiteral("--register"), location, QStringLiteral("list")});
            QVERIFY(list.waitForFinished(60000) && list.exitCode() == 0);
            m_commandTime[location] = timer.elapsed() * 3 / 2 + 20;
        }
        const QList<QPair<QString, qint64>> files = {
            {QStringLiteral("large.bin"), 3 * 1024 * 1024},
            {QStringLiteral("report 2020.txt"), 70000},
            {QStringLiteral("small"), 12},
            {QStringLiteral("图片.png"), 300000},
        };
        for (const auto& [name, size] : files) {
            QByteArray content(size, Qt::Uninitialized);
            for (qint64 i = 0; i < size; ++i)
                content[i] = static_cast<char>(m_random.bounded(256));
            QFile file(QDir(m_sources).filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(content), size);
            m_sourceDigests[name] = QCryptographicHash::hash(content, QCryptographicHash::Sha256);
        }
    }

    void killedBatchAdd_data() { kinds(); }
    void killedBatchAdd()
    {
        SKIP_WITHOUT_REGISTER();
        const QStringList command = batchAddCommand();
        const qint64 typical = runToEnd(command);
        verifyWhole();
        for (int i = 0; i < 14; ++i) {
            runAndKill(command, typical, i % 2 == 1);
            verifyWhole();
            if (QTest::currentTestFailed())
                return;
        }
    }

    void killedBatchModify_data() { kinds(); }
    void killedBatchModify()
    {
        SKIP_WITHOUT_REGISTER();
        for (int i = 0; i < 10; ++i) {
            const QList<Row> before = rows();
            QVERIFY(!before.isEmpty());
            const QString remark = QStringLiteral("备注 %1 ' \" %").arg(i);
            const QString recipient = QStringLiteral("接收人 %1").arg(i);
            QStringList command{QStringLiteral("modify"), QStringLiteral("--remark"), remark,
                                QStringLiteral("--recipient"), recipient};
            command += serialsOf(before);
            runAndKill(command, commandTime());
            verifyWhole();
            const QList<Row> after = rows();
            QCOMPARE(after.size(), before.size());
            if (after == before)
                continue;
            for (int r = 0; r < after.size(); ++r) {
                QCOMPARE(after[r].remark, remark);
                QCOMPARE(after[r].recipient, recipient);
                QCOMPARE(after[r].serial, before[r].serial);
            }
        }
    }

    void killedMove_data() { kinds(); }
    void killedMove()
    {
        SKIP_WITHOUT_REGISTER();
        for (int i = 0; i < 12; ++i) {
            const QList<Row> before = rows();
            QVERIFY(before.size() >= 2);
            const bool up = i % 2 == 0;
            const int position =
                up ? 1 + m_random.bounded(before.size() - 1) : m_random.bounded(before.size() - 1);
            const int neighbour = up ? position - 1 : position + 1;
            runAndKill({up ? QStringLiteral("move-up") : QStringLiteral("move-down"),
                        before[position].serial.toString()},
                       commandTime());
            verifyWhole();
            QList<Row> after = rows();
            QCOMPARE(after.size(), before.size());
            if (after == before)
                continue;
            // Exchanged, and only these two.
            QList<Row> expected = before;
            std::swap(expected[position].serial, expected[neighbour].serial);
            std::swap(expected[position], expected[neighbour]);
            QVERIFY(after == expected);
        }
    }

    void killedDelete_data() { kinds(); }
    void killedDelete()
    {
        SKIP_WITHOUT_REGISTER();
        // A killed batch registers none of its files or all of them: make
        // sure there is something left to delete in every round.
        while (rows().size() < 12)
            runToEnd(batchAddCommand());
        for (int i = 0; i < 10; ++i) {
            const QList<Row> before = rows();
            QVERIFY(before.size() >= 2);
            const Row victim = before.at(m_random.bounded(before.size()));
            runAndKill(
                {QStringLiteral("delete"), QStringLiteral("--yes"), victim.serial.toString()},
                commandTime(), i % 2 == 1);
            verifyWhole();
            const QList<Row> after = rows();
            if (after == before)
                continue;
            QList<Row> expected = before;
            expected.removeOne(victim);
            QVERIFY(after == expected);
            // Its copy went with it (the clean check would have named it otherwise).
            QVERIFY(!QFile::exists(openRegister().storedCopyPath(victim.storedName)) ||
                    std::any_of(after.cbegin(), after.cend(),
                                [&](const Row& r) { return r.storedName == victim.storedName; }));
        }
    }

    // Records deleted above go back and forth: each restore or purge happens
    // wholly or not at all, and nothing is in the register and the bin at once.
    void killedRestoreAndPurge_data() { kinds(); }
    void killedRestoreAndPurge()
    {
        SKIP_WITHOUT_REGISTER();
        for (int i = 0; i < 12; ++i) {
            const bool purge = i % 3 == 2;
            if (binEntries().isEmpty() || (!purge && binEntries().size() < 3)) {
                const QList<Row> live = rows();
                runToEnd({QStringLiteral("delete"), QStringLiteral("--yes"),
                          live.at(m_random.bounded(live.size())).serial.toString()});
            }
            const QList<Row> before = rows();
            const QList<RecycleBin::Entry> binBefore = binEntries();
            const RecycleBin::Entry victim = binBefore.at(m_random.bounded(binBefore.size()));
            QStringList command{QStringLiteral("trash"),
                                purge ? QStringLiteral("purge") : QStringLiteral("restore")};
            if (purge)
                command << QStringLiteral("--yes");
            runAndKill(command << victim.record.serial.toString(), commandTime(), i % 2 == 1);
            verifyWhole();
            const QList<Row> after = rows();
            const QList<RecycleBin::Entry> binAfter = binEntries();
            const auto inBin = [&](const QList<RecycleBin::Entry>& entries) {
                return std::any_of(entries.cbegin(), entries.cend(),
                                   [&](const RecycleBin::Entry& e) {
                                       return e.record.rowid == victim.record.rowid;
                                   });
            };
            const bool live = std::any_of(after.cbegin(), after.cend(), [&](const Row& r) {
                return r.rowid == victim.record.rowid;
            });
            QVERIFY(!(live && inBin(binAfter)));
            if (purge)
                QVERIFY(!live);
            else if (!inBin(binAfter))
                QVERIFY(live);
            // Nothing else moved.
            QVERIFY(after.size() - before.size() + binAfter.size() - binBefore.size() <= 0);
            QVERIFY(after.size() >= before.size());
        }
    }

    // A backup killed at any moment, new copies added between the runs,
    // leaves the last complete backup usable and the register whole.
    void killedBackup()
    {
        const QString backup = m_dir.filePath(QStringLiteral("backup"));
        const QStringList command = {QStringLiteral("backup"), backup};
        const QStringList verify = {QStringLiteral("backup"), QStringLiteral("--verify"), backup};
        const qint64 typical = runToEnd(command);
        for (int i = 0; i < 8; ++i) {
            if (i % 2 == 0)
                runToEnd(batchAddCommand());
            runAndKill(command, typical);
            verifyWhole();
            runToEnd(verify);
        }
        // Killed with everything written but the manifest: still the older backup.
        runToEnd(batchAddCommand());
        QFile before(backup + QStringLiteral("/quorvel-backup.manifest"));
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray previous = before.readAll();
        QTemporaryDir meeting;
        const PausePoint pause{meeting.path(), QStringLiteral("backup-publish")};
        QProcess held;
        held.setProcessEnvironment(pause.environment());
        held.start(QStringLiteral(QUORVEL_CLI), cliArguments(command));
        QVERIFY(pause.waitReached());
        ::kill(static_cast<pid_t>(held.processId()), SIGKILL);
        QVERIFY(held.waitForFinished(10000));
        QFile after(backup + QStringLiteral("/quorvel-backup.manifest"));
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), previous);
        runToEnd(verify);
        runToEnd(command);
        runToEnd(verify);
        QVERIFY(
            QDir(backup)
                .entryList({QStringLiteral(".quorvel-backup-part-*")}, QDir::Files | QDir::Hidden)
                .isEmpty());
    }

    // On a full file system of 1 KiB blocks SQLite grows its shared-memory
    // index with holes, and filling one through its map is SIGBUS. Every
    // command must say the disk is full instead, again and again, and work
    // once there is room.
    void fullDiskIsReportedNotACrash()
    {
        QTemporaryDir dir;
        const QString image = dir.filePath(QStringLiteral("fs.img"));
        const QString mountPoint = dir.filePath(QStringLiteral("fs"));
        QVERIFY(QDir().mkpath(mountPoint));
        {
            QFile file(image);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(8 << 20));
        }
        const auto quiet = [](const QString& program, const QStringList& arguments) {
            QProcess process;
            process.start(program, arguments);
            return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit &&
                   process.exitCode() == 0;
        };
        if (!quiet(QStringLiteral("mkfs.ext4"),
                   {QStringLiteral("-q"), QStringLiteral("-b"), QStringLiteral("1024"),
                    QStringLiteral("-m"), QStringLiteral("0"), QStringLiteral("-F"), image}) ||
            !quiet(QStringLiteral("mount"),
                   {QStringLiteral("-o"), QStringLiteral("loop"), image, mountPoint}))
            QSKIP("no loop-mounted file system of small blocks can be had here");
        const auto unmount = qScopeGuard([&] { quiet(QStringLiteral("umount"), {mountPoint}); });
        const QString reg = mountPoint + QStringLiteral("/register");
        const auto cli = [&](const QString& command, QString* err) {
            QProcess process;
            process.start(QStringLiteral(QUORVEL_CLI),
                          {QStringLiteral("--register"), reg, command});
            if (!process.waitForFinished(60000))
                qFatal("quorvel-cli did not finish");
            *err = QString::fromUtf8(process.readAllStandardError());
            return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        };
        QString err;
        QCOMPARE(cli(QStringLiteral("init"), &err), 0);

        QFile fill(mountPoint + QStringLiteral("/fill"));
        QVERIFY(fill.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(1024, 'f');
        while (fill.write(block) == block.size()) {
        }
        fill.close();
        // One block freed at a time: somewhere on the way there is room to
        // start growing the index but not to finish.
        for (int freeBlocks = 1; freeBlocks <= 14; ++freeBlocks) {
            QVERIFY(QFile::resize(fill.fileName(), QFileInfo(fill).size() - 1024));
            const int code = cli(QStringLiteral("list"), &err);
            QVERIFY2(code != -1,
                     qPrintable(QStringLiteral("died with about %1 KiB free").arg(freeBlocks)));
            QVERIFY2(code == 0 || err.contains(QStringLiteral("磁盘已满")), qPrintable(err));
        }
        QVERIFY(fill.remove());
        QCOMPARE(cli(QStringLiteral("list"), &err), 0);
    }

    // The old typical register keeps a record whose copy is missing, so a
    // finished conversion exits 1. After a kill 文件管理.mdb is the old file
    // untouched or the new register complete; a second run completes it.
    void killedConversion()
    {
        const QByteArray old =
            digestOf(QStringLiteral(QUORVEL_LEGACY_DATA "/typical/") + RegisterNames::databaseFile);
        // Exit 1 after converting; 0 when a killed run had already finished.
        const auto convert = [&](const QString& folder) {
            QProcess process;
            process.start(QStringLiteral(QUORVEL_CLI),
                          cliArguments({QStringLiteral("convert")}, folder));
            process.waitForFinished(60000);
            return process.exitCode();
        };
        const auto records = [](const QString& folder) {
            Result<Register> reg = Register::open(folder, Register::Mode::MustExist);
            const int count =
                reg ? Sql::scalar(reg->database(), QStringLiteral("SELECT count(*) FROM 文件管理"))
                          ->toInt()
                    : -1;
            if (reg)
                reg->closeConnection();
            return count;
        };
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(convert(LegacyFixture::copy(m_dir, QStringLiteral("typical"),
                                             QStringLiteral("measure"))),
                 1);
        const qint64 typical = timer.elapsed();
        for (int i = 0; i < 12; ++i) {
            const QString folder = LegacyFixture::copy(m_dir, QStringLiteral("typical"),
                                                       QStringLiteral("convert-%1").arg(i));
            const QString database = QDir(folder).filePath(RegisterNames::databaseFile);
            const QString kept = QDir(folder).filePath(QStringLiteral("文件管理.jet.mdb"));
            runAndKill({QStringLiteral("convert")}, typical, false, folder, 1);
            if (Schema::inspect(database) == Schema::FileKind::Access) {
                QCOMPARE(digestOf(database), old);
            } else {
                QCOMPARE(records(folder), 60);
                QCOMPARE(digestOf(kept), old);
            }
            QVERIFY(convert(folder) <= 1);
            QCOMPARE(records(folder), 60);
            QCOMPARE(digestOf(kept), old);
            QVERIFY(!QFile::exists(database + QStringLiteral(".quorvel-convert")));
        }
    }

    void cleanupTestCase()
    {
        // Every copy still what was registered, after all of it.
        for (const QString& location : std::as_const(m_registers)) {
            const Register reg = openRegister(location);
            Integrity::Options options;
            options.verify = true;
            Result<Integrity::Report> report = Integrity::check(reg, options);
            QVERIFY(report);
            QVERIFY2(report->findings.isEmpty(), qPrintable(report->findings.value(0).text()));
            reg.closeConnection();
        }
        qInfo("%d runs killed, %d finished before the kill, %d beside a repair", m_kills,
              m_finished, m_repairs);
        QVERIFY(m_kills > 0);
    }
};

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "test_crash_safety.moc"
