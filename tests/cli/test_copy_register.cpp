#include "store/RecordStore.h"
#include "store/sql/ContentHash.h"
#include "store/view/ViewCursor.h"
#include "support/CliRun.h"
#include "support/PausePoint.h"
#include "support/PgCluster.h"
#include "support/TempRegister.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

// A whole register copied to the other kind and back, a damaged source,
// a copy killed half-way and finished by the next run, and targets that
// are not the copy's own.

namespace {

// Every record of the register at `location` in view order, with its
// recorded hash and its copy's bytes, then its query slots. With
// `hashMissing`, a record without a recorded hash shows its copy's hash
// as a copy of it must have recorded it.
QStringList contents(const QString& location, bool hashMissing = false)
{
    Result<Register> reg = Register::open(location, Register::Mode::MustExist);
    if (!reg)
        return {reg.error().fullText()};
    const std::unique_ptr<RecordStore> records = reg->records();
    const Result<QHash<qint64, RecordedDigest>> digests = records->digests();
    QStringList rows;
    {
        ViewCursor cursor(*reg, {});
        while (cursor.next()) {
            const RegisterRecord record = cursor.record();
            const QString path = reg->storedCopyPath(record.storedName);
            const RecordedDigest digest = digests ? digests->value(record.rowid) : RecordedDigest{};
            QString hash = digest.storedName == record.storedName ? digest.hash : QString();
            if (hash.isEmpty() && hashMissing)
                hash = ContentHash::ofFile(path) ? ContentHash::ofFile(path)->hash : QString();
            rows << QStringList{record.serial.toString(),
                                record.date,
                                record.fileName,
                                record.storedName,
                                record.remark,
                                record.recipient,
                                record.method,
                                record.folder,
                                hash,
                                QString::fromUtf8(TestFiles::read(path))}
                        .join(QLatin1Char('|'));
        }
    }
    const Result<QList<QVariantList>> slots = records->querySlots(9);
    for (const QVariantList& slot : slots ? slots.value() : QList<QVariantList>()) {
        QStringList texts;
        for (const QVariant& value : slot)
            texts << value.toString();
        rows << texts.join(QLatin1Char('|'));
    }
    reg->closeConnection();
    return rows;
}

// Registers files named `names` (each holding its own name) through the
// command line; their stored names in order.
QStringList addFiles(const QString& folder, const QStringList& names,
                     const QStringList& options = {})
{
    QTemporaryDir files;
    QStringList paths;
    for (const QString& name : names) {
        paths << files.filePath(name);
        TestFiles::write(paths.last(), name.toUtf8());
    }
    const CliRun added =
        runCommandLine(folder, QStringList{QStringLiteral("add")} + options + paths);
    QStringList stored;
    for (const QString& line : added.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        stored << line.section(QLatin1Char('\t'), 1);
    return stored;
}

QStringList copyArguments(const QString& target)
{
    return {QStringLiteral("copy-register"), QStringLiteral("--to"), target};
}

} // namespace

class TestCopyRegister : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roundTripThroughTheServerKeepsEverything()
    {
        NEED_SERVER(cluster);
        TempRegister source;
        addFiles(source.folder(), {QStringLiteral("报告.pdf"), QStringLiteral("b.txt")},
                 {QStringLiteral("--date"), QStringLiteral("2006-03-05"),
                  QStringLiteral("--remark"), QStringLiteral("季度 50%_'"),
                  QStringLiteral("--recipient"), QStringLiteral("张三"), QStringLiteral("--method"),
                  QStringLiteral("邮件"), QStringLiteral("--folder"), QStringLiteral("甲")});
        addFiles(source.folder(), {QStringLiteral("c.txt")});
        // Serials far apart and no recorded hash: kept, and hashed now.
        source.addRecord(9000000000, QStringLiteral("d.txt"), {}, {}, {}, {}, {}, "dddd");
        QVERIFY(source.reg().records()->writeQuerySlot(
            3, {{QueryField::Name, QStringLiteral("合同")},
                {QueryField::Remark, QStringLiteral("x")},
                {QueryField::Earliest, QStringLiteral("2006-01-01")}}));
        const QStringList expected = contents(source.folder(), true);
        QCOMPARE(expected.size(), 4 + 9);

        QTemporaryDir dir;
        const QString server =
            cluster->url(cluster->createDatabase(), dir.filePath(QStringLiteral("store")));
        const QString back = dir.filePath(QStringLiteral("back"));
        CliRun there = runCommandLine(source.folder(), copyArguments(server));
        QVERIFY2(there.status == 0, qPrintable(there.err));
        QVERIFY2(there.out.contains(QStringLiteral("复制完成：4 条记录，4 个存储副本，9 个查询")),
                 qPrintable(there.out));
        QVERIFY(there.out.contains(QStringLiteral("1 个副本来源未记校验值")));
        QCOMPARE(contents(server), expected);
        CliRun again = runCommandLine(server, copyArguments(back));
        QVERIFY2(again.status == 0, qPrintable(again.err));
        QCOMPARE(contents(back), expected);
    }

    void damagedCopiesAreToldAndTheRestCopied()
    {
        TempRegister source;
        const QStringList stored =
            addFiles(source.folder(), {QStringLiteral("a.txt"), QStringLiteral("b.txt"),
                                       QStringLiteral("c.txt"), QStringLiteral("d.txt")});
        QCOMPARE(stored.size(), 4);
        TestFiles::write(source.reg().storedCopyPath(stored[1]), "B.TXT");
        QVERIFY(QFile::remove(source.reg().storedCopyPath(stored[2])));
        const QStringList expected = contents(source.folder());

        QTemporaryDir dir;
        const CliRun run = runCommandLine(source.folder(), copyArguments(dir.path()));
        QCOMPARE(run.status, 1);
        QVERIFY2(
            run.err.contains(QStringLiteral("序号 2“b.txt”：存储副本与登记时记下的校验值不符")),
            qPrintable(run.err));
        QVERIFY(run.err.contains(QStringLiteral("序号 3“c.txt”：来源中没有这条记录的存储副本")));
        QVERIFY(!run.err.contains(QStringLiteral("序号 4")));
        QVERIFY(run.out.contains(QStringLiteral("4 条记录，3 个存储副本")));
        // The copy holds what the source holds, faults included, so that
        // its own check finds them as well.
        QCOMPARE(contents(dir.path()), expected);
    }

    void killedCopyIsFinishedByTheNextRun()
    {
        NEED_SERVER(cluster);
        TempRegister source;
        QStringList names;
        for (int i = 0; i < 25; ++i)
            names << QStringLiteral("f%1.txt").arg(i);
        QCOMPARE(addFiles(source.folder(), names).size(), 25);
        QTemporaryDir dir;
        const QString store = dir.filePath(QStringLiteral("store"));
        const QString target = cluster->url(cluster->createDatabase(), store);
        const QStringList arguments = QStringList{QStringLiteral("--register"), source.folder()} +
                                      copyArguments(target) +
                                      QStringList{QStringLiteral("--batch"), QStringLiteral("10")};
        // Killed once after its first batch, then once with the second
        // batch's copies named but its records not committed.
        for (const char* point : {"copy-batch-committed", "copy-before-commit"}) {
            QTemporaryDir meeting;
            const PausePoint pause{meeting.path(), QString::fromLatin1(point)};
            QProcess held;
            held.setProcessEnvironment(pause.environment());
            held.start(QStringLiteral(QUORVEL_CLI), arguments);
            QVERIFY2(pause.waitReached(), point);
            ::kill(static_cast<pid_t>(held.processId()), SIGKILL);
            QVERIFY(held.waitForFinished());
        }
        QCOMPARE(contents(target).size(), 10 + 9);

        const CliRun resumed = runCommandLine(arguments);
        QVERIFY2(resumed.status == 0, qPrintable(resumed.err));
        QVERIFY2(resumed.out.contains(QStringLiteral("复制完成：25 条记录，15 个存储副本")),
                 qPrintable(resumed.out));
        QVERIFY(resumed.out.contains(QStringLiteral("其中 10 条记录已由此前的复制完成")));
        QCOMPARE(contents(target), contents(source.folder()));
        // No leftover of the killed runs: the store holds the copies only.
        QStringList left = QDir(store).entryList(QDir::Files | QDir::Hidden | QDir::System);
        left.sort();
        QStringList copies = names;
        copies.sort();
        QCOMPARE(left, copies);
    }

    void targetsNotTheCopysOwnAreRefused_data()
    {
        QTest::addColumn<bool>("copyOfAnother");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("holds records") << false << QStringLiteral("目标登记库中已有 1 条记录");
        QTest::newRow("copy of another register")
            << true << QStringLiteral("目标登记库是从另一个登记库复制的");
    }
    void targetsNotTheCopysOwnAreRefused()
    {
        QFETCH(bool, copyOfAnother);
        QFETCH(QString, refusal);
        TempRegister source;
        source.addRecord(1, QStringLiteral("a.txt"), {}, {}, {}, {}, {}, "a");
        TempRegister target;
        if (copyOfAnother) {
            TempRegister other;
            other.addRecord(1, QStringLiteral("b.txt"), {}, {}, {}, {}, {}, "b");
            QCOMPARE(runCommandLine(other.folder(), copyArguments(target.folder())).status, 0);
        } else {
            target.addRecord(7, QStringLiteral("x.txt"), {}, {}, {}, {}, {}, "x");
        }
        const QStringList before = contents(target.folder());
        const CliRun refused = runCommandLine(source.folder(), copyArguments(target.folder()));
        QCOMPARE(refused.status, 1);
        QVERIFY2(refused.err.contains(refusal), qPrintable(refused.err));
        QCOMPARE(contents(target.folder()), before);
    }
};

QTEST_GUILESS_MAIN(TestCopyRegister)
#include "test_copy_register.moc"
