#include "inbox/Inbox.h"
#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "support/CliRun.h"
#include "support/PausePoint.h"
#include "support/PgCluster.h"
#include "support/RegisterKinds.h"
#include "support/TempRegister.h"
#include "support/TestFiles.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <map>

namespace {

// `inbox watch` of the register at `location`, as its own process.
class Watch {
public:
    explicit Watch(QString location) : m_location(std::move(location)) {}
    ~Watch() { kill(); }

    void start(const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
    {
        m_errors.clear();
        m_process.setProcessEnvironment(environment);
        // A line per file: nobody reads them, and a full pipe would stop it.
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.start(QStringLiteral(QUORVEL_CLI),
                        {QStringLiteral("--register"), m_location, QStringLiteral("inbox"),
                         QStringLiteral("watch"), QStringLiteral("--settle"),
                         QStringLiteral("0.3")});
        QVERIFY(m_process.waitForStarted());
    }
    void kill()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(m_process.processId()), SIGKILL);
        m_process.waitForFinished(10000);
    }
    // Ends the watch as a service manager would, once it is watching;
    // whether it ended well.
    bool stop()
    {
        m_process.setReadChannel(QProcess::StandardError);
        const QDeadlineTimer deadline(30000);
        while (!m_errors.contains(QStringLiteral("正在监视收件箱")) && !deadline.hasExpired() &&
               m_process.state() == QProcess::Running) {
            m_process.waitForReadyRead(100);
            m_errors += QString::fromUtf8(m_process.readAllStandardError());
        }
        ::kill(pid_t(m_process.processId()), SIGTERM);
        return m_process.waitForFinished(30000) && m_process.exitStatus() == QProcess::NormalExit &&
               m_process.exitCode() == 0;
    }
    QString errors() { return m_errors + QString::fromUtf8(m_process.readAllStandardError()); }

private:
    QString m_errors;
    QString m_location;
    QProcess m_process;
};

// Whether the inbox holds no file (its sub-folder aside) within `ms`.
bool emptiedWithin(const QString& inbox, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!QDir(inbox).entryList(QDir::Files | QDir::Hidden | QDir::System).isEmpty()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    return true;
}

// Every record's name with its stored copy's bytes and its preset details.
std::multimap<QString, QByteArray> registered(const Register& reg, QStringList* details = nullptr)
{
    using namespace RegisterNames;
    QSqlQuery query =
        Sql::run(reg.database(), QStringLiteral("SELECT %1, %2, %3, %4, %5, %6 FROM %7")
                                     .arg(Sql::identifier(fileName), Sql::identifier(storedName),
                                          Sql::identifier(recipient), Sql::identifier(method),
                                          Sql::identifier(folder), Sql::identifier(date),
                                          Sql::identifier(recordTable)))
            .value();
    std::multimap<QString, QByteArray> records;
    while (query.next()) {
        records.emplace(query.value(0).toString(),
                        TestFiles::read(reg.storedCopyPath(query.value(1).toString())));
        if (details) {
            const QString line = QStringList{query.value(2).toString(), query.value(3).toString(),
                                             query.value(4).toString(), query.value(5).toString()}
                                     .join(QLatin1Char('|'));
            if (!details->contains(line))
                details->append(line);
        }
    }
    return records;
}

QByteArray contentOf(int number)
{
    return QByteArray("scan ") + QByteArray::number(number) + QByteArray(number % 700, 'x');
}

} // namespace

// The inbox: files dropped in a folder are registered once each with the
// preset details, whatever moment the watch is killed at, and only once
// they are complete.
class TestInbox : public QObject {
    Q_OBJECT

    // A register whose inbox is `inbox`.
    static void setUp(const TempRegister& temp, const QString& inbox)
    {
        const CliRun set =
            runCommandLine(temp.location(), {QStringLiteral("inbox"), QStringLiteral("set"), inbox,
                                             QStringLiteral("--recipient"), QStringLiteral("甲"),
                                             QStringLiteral("--method"), QStringLiteral("扫描"),
                                             QStringLiteral("--folder"), QStringLiteral("收文")});
        QVERIFY2(set.status == 0, qPrintable(set.err));
        QVERIFY(set.out.contains(QStringLiteral("接收人：甲")));
    }

private Q_SLOTS:
    void thousandFilesRegisteredOnceThroughKills()
    {
        TempRegister temp;
        QTemporaryDir inbox;
        setUp(temp, inbox.path());
        Watch watch(temp.location());
        watch.start();
        std::multimap<QString, QByteArray> expected;
        QRandomGenerator random(20261210);
        for (int round = 0; round < 10; ++round) {
            for (int i = round * 100; i < (round + 1) * 100; ++i) {
                const QString name = QStringLiteral("扫描 %1.pdf").arg(i, 4, 10, QLatin1Char('0'));
                TestFiles::write(QDir(inbox.path()).filePath(name), contentOf(i));
                expected.emplace(name, contentOf(i));
                if (i % 10 == 0)
                    QThread::msleep(random.bounded(60));
            }
            // Killed at any moment of taking this round in.
            QThread::msleep(300 + random.bounded(900));
            watch.kill();
            watch.start();
        }
        QVERIFY(emptiedWithin(inbox.path(), 120000));
        QVERIFY2(watch.stop(), qPrintable(watch.errors()));
        QStringList details;
        QVERIFY(registered(temp.reg(), &details) == expected);
        QCOMPARE(details, QStringList(QStringLiteral("甲|扫描|收文|") +
                                      QDate::currentDate().toString(Qt::ISODate)));
        QVERIFY(!QDir(inbox.path()).exists(Inbox::refusedFolder));
        temp.reg().closeConnection();
    }

    void fileStillWrittenIsNotTakenEarly()
    {
        TempRegister temp;
        QTemporaryDir inbox;
        setUp(temp, inbox.path());
        Watch watch(temp.location());
        watch.start();
        // One held open while it pauses longer than the settle time, one
        // written a piece at a time by short appends.
        QFile held(QDir(inbox.path()).filePath(QStringLiteral("held.pdf")));
        QVERIFY(held.open(QIODevice::WriteOnly));
        held.write("first part ");
        held.flush();
        const QString appended = QDir(inbox.path()).filePath(QStringLiteral("appended.pdf"));
        QByteArray whole;
        for (int piece = 0; piece < 15; ++piece) {
            QFile file(appended);
            QVERIFY(file.open(QIODevice::Append));
            const QByteArray bytes = QByteArray::number(piece) + QByteArray(1000, 'p');
            file.write(bytes);
            whole += bytes;
            file.close();
            QThread::msleep(100);
        }
        held.write("second part");
        held.close();
        QVERIFY(emptiedWithin(inbox.path(), 30000));
        QVERIFY2(watch.stop(), qPrintable(watch.errors()));
        const std::multimap<QString, QByteArray> expected = {
            {QStringLiteral("appended.pdf"), whole},
            {QStringLiteral("held.pdf"), QByteArray("first part second part")}};
        QVERIFY(registered(temp.reg()) == expected);
        temp.reg().closeConnection();
    }

    void killAfterCommitDoesNotRegisterAgain_data() { kinds(); }
    void killAfterCommitDoesNotRegisterAgain()
    {
        QFETCH(bool, server);
        NEED_KIND(server);
        TempRegister temp(server ? Register::Kind::Postgres : Register::Kind::Sqlite);
        QTemporaryDir inbox;
        setUp(temp, inbox.path());
        // The register's own folders are never an inbox.
        QCOMPARE(runCommandLine(temp.location(), {QStringLiteral("inbox"), QStringLiteral("set"),
                                                  temp.reg().storeFolder()})
                     .status,
                 1);
        const QDir dir(inbox.path());
        TestFiles::write(dir.filePath(QStringLiteral("a.pdf")), "a");
        QTemporaryDir pauses;
        const PausePoint pause{pauses.path(), QStringLiteral("inbox-registered")};
        Watch watch(temp.location());
        watch.start(pause.environment());
        QVERIFY(pause.waitReached());
        watch.kill();
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("a.pdf"))));

        // What cannot be registered is set aside with a note.
        TestFiles::write(dir.filePath(QStringLiteral("empty.pdf")), {});
        QVERIFY(
            QFile::link(QStringLiteral("/etc/hostname"), dir.filePath(QStringLiteral("l.pdf"))));
        watch.start();
        QVERIFY(emptiedWithin(inbox.path(), 30000));
        QVERIFY2(watch.stop(), qPrintable(watch.errors()));
        const std::multimap<QString, QByteArray> expected = {{QStringLiteral("a.pdf"), "a"}};
        QVERIFY(registered(temp.reg()) == expected);
        const QDir refused(dir.filePath(Inbox::refusedFolder));
        QCOMPARE(refused.entryList(QDir::Files | QDir::System, QDir::Name),
                 QStringList({QStringLiteral("empty.pdf"), QStringLiteral("empty.pdf.原因.txt"),
                              QStringLiteral("l.pdf"), QStringLiteral("l.pdf.原因.txt")}));
        QVERIFY(TestFiles::read(refused.filePath(QStringLiteral("l.pdf.原因.txt")))
                    .contains(QStringLiteral("链接").toUtf8()));
        temp.reg().closeConnection();
    }
};

QTEST_GUILESS_MAIN(TestInbox)
#include "test_inbox.moc"
