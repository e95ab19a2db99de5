#include "backup/Backup.h"
#include "intake/Intake.h"
#include "integrity/IntegrityCheck.h"
#include "modify/RecordModify.h"
#include "operations/RecordDelete.h"
#include "store/sql/ContentHash.h"
#include "store/sql/Sql.h"
#include "support/TempRegister.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// Registers `count` files through intake (copies, hashes and all).
QStringList addFiles(const Register& reg, const QString& sources, const QString& prefix, int count)
{
    QStringList stored;
    for (int i = 0; i < count; ++i) {
        const QString path = QDir(sources).filePath(QStringLiteral("%1-%2.txt").arg(prefix).arg(i));
        writeFile(path, QStringLiteral("%1 %2\n").arg(prefix).arg(i).repeated(50).toUtf8());
        const Intake::Outcome outcome = Intake::DdtaUp(reg, Intake::File::fromPath(path), {});
        if (outcome.kind != Intake::Outcome::Registered)
            qFatal("intake failed: %s", qPrintable(outcome.error.fullText()));
        stored << outcome.storedName;
    }
    return stored;
}

// Every row of both tables, as text: equal dumps mean the same records and queries.
QStringList dump(const Register& reg)
{
    QStringList rows;
    for (const char* sql : {"SELECT * FROM 文件管理 ORDER BY rowid", "SELECT * FROM 自定义查询"}) {
        QSqlQuery query = Sql::run(reg.database(), QString::fromUtf8(sql)).value();
        while (query.next()) {
            QStringList values;
            for (int i = 0; i < query.record().count(); ++i)
                values << query.value(i).toString();
            rows << values.join(QLatin1Char('|'));
        }
    }
    return rows;
}

ino_t inodeOf(const QString& path)
{
    struct stat st = {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_ino;
}

// The backup restored and checked as a register: no record without its copy,
// no copy other than the hash recorded for it.
void expectSound(const QString& backup)
{
    QTemporaryDir restored;
    const QString target = restored.filePath(QStringLiteral("reg"));
    Result<Backup::Check> check = Backup::restore(backup, target);
    QVERIFY2(
        check && check->problems.isEmpty(),
        qPrintable(check ? check->problems.join(QLatin1Char('\n')) : check.error().fullText()));
    Result<Register> reg = Register::open(target, Register::Mode::MustExist);
    QVERIFY(reg);
    Integrity::Options options;
    options.verify = true;
    Result<Integrity::Report> report = Integrity::check(*reg, options);
    QVERIFY(report);
    for (const Integrity::Finding& finding : report->findings)
        QVERIFY2(finding.kind == Integrity::Kind::NotHashed, qPrintable(finding.text()));
    reg->closeConnection();
}

} // namespace

class TestBackup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void restoreGivesTheSameRecordsQueriesAndBytes()
    {
        TempRegister temp;
        QTemporaryDir sources;
        QTemporaryDir place;
        QStringList stored = addFiles(temp.reg(), sources.path(), QStringLiteral("a"), 4);
        // The last one goes into the bin: the backup carries the bin too.
        QVERIFY(RecordDelete::deleteRecord(temp.reg(), temp.seen(4)).ok());
        const QString binned = QStringLiteral("/.回收站/") + stored.takeLast();
        QVERIFY(Sql::run(temp.reg().database(),
                         QStringLiteral("UPDATE 自定义查询 SET 工具条标题 = ? WHERE rowid = 2"),
                         {QStringLiteral("季度")}));
        const QString backup = place.filePath(QStringLiteral("backup"));
        Result<Backup::Report> report = Backup::run(temp.reg(), backup);
        QVERIFY2(report, qPrintable(report ? QString() : report.error().fullText()));
        QCOMPARE(report->copies, 3);
        QCOMPARE(report->binCopies, 1);
        QVERIFY(report->complete());
        // The manifest names each copy's record by its serial, bin copies too.
        const QByteArray manifest =
            TestFiles::read(backup + QStringLiteral("/quorvel-backup.manifest"));
        QVERIFY(manifest.contains(QByteArray('\t' + stored.first().toUtf8() + "\t1\n")));
        QVERIFY(
            manifest.contains(QByteArray(binned.section(QLatin1Char('/'), -1).toUtf8() + "\t4\n")));

        // Working folders of killed restores go; one a running restore holds stays.
        const QString abandoned = place.filePath(QStringLiteral(".restored.quorvel-restore-a"));
        const QString running = place.filePath(QStringLiteral(".restored.quorvel-restore-b"));
        for (const QString& working : {abandoned, running}) {
            QVERIFY(QDir().mkpath(working));
            TestFiles::write(working + QStringLiteral("/half"), "x");
        }
        const int held = ::open(QFile::encodeName(running).constData(), O_RDONLY | O_DIRECTORY);
        const auto release = qScopeGuard([held] { ::close(held); });
        QVERIFY(held >= 0 && ::flock(held, LOCK_EX) == 0);
        const QString target = place.filePath(QStringLiteral("restored"));
        Result<Backup::Check> check = Backup::restore(backup, target);
        QVERIFY(check && check->problems.isEmpty());
        QVERIFY(!QFileInfo::exists(abandoned));
        QVERIFY(QFileInfo::exists(running + QStringLiteral("/half")));
        Result<Register> restored = Register::open(target, Register::Mode::MustExist);
        QVERIFY(restored);
        QCOMPARE(dump(*restored), dump(temp.reg()));
        for (const QString& name : stored)
            QCOMPARE(TestFiles::read(restored->storedCopyPath(name)),
                     TestFiles::read(temp.reg().storedCopyPath(name)));
        QCOMPARE(TestFiles::read(restored->storeFolder() + binned),
                 TestFiles::read(temp.reg().storeFolder() + binned));
        restored->closeConnection();

        // Never over a register, nor into a folder that holds anything.
        check = Backup::restore(backup, target);
        QVERIFY(!check);
        QVERIFY(check.error().message.contains(QStringLiteral("不是空文件夹")));
    }

    void incrementalBackupCopiesOnlyNewCopies()
    {
        TempRegister temp;
        QTemporaryDir sources;
        QTemporaryDir place;
        const QStringList first = addFiles(temp.reg(), sources.path(), QStringLiteral("a"), 4);
        const QString backup = place.path();
        QCOMPARE(Backup::run(temp.reg(), backup)->copied, 4);
        const QString kept = backup + QStringLiteral("/随机文件/") + first.first();
        const ino_t keptInode = inodeOf(kept);

        Result<Backup::Report> again = Backup::run(temp.reg(), backup);
        QCOMPARE(again->copied, 0);
        QCOMPARE(again->bytesCopied, 0);

        addFiles(temp.reg(), sources.path(), QStringLiteral("b"), 2);
        QVERIFY(RecordDelete::deleteRecord(temp.reg(), temp.seen(2)).ok());
        Result<Backup::Report> third = Backup::run(temp.reg(), backup);
        QCOMPARE(third->copied, 2);
        QCOMPARE(third->copies, 5);
        QCOMPARE(inodeOf(kept), keptInode);
        // What the register no longer holds leaves the backup, and so does the older database.
        QVERIFY(!QFile::exists(backup + QStringLiteral("/随机文件/") + first.at(1)));
        QCOMPARE(QDir(backup).entryList({QStringLiteral("*.mdb")}),
                 QStringList{QStringLiteral("文件管理-3.mdb")});
        expectSound(backup);
    }

    void damagedBackupIsRefused_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("damage"); // 0 remove, 1 cut short, 2 change a byte
        QTest::addColumn<QString>("problem");
        QTest::newRow("missing copy") << "随机文件/COPY" << 0 << "缺少存储副本";
        QTest::newRow("copy cut short") << "随机文件/COPY" << 1 << "大小不符";
        QTest::newRow("copy changed") << "随机文件/COPY" << 2 << "内容已损坏";
        QTest::newRow("database changed") << "文件管理-1.mdb" << 2 << "数据库文件";
        QTest::newRow("database missing") << "文件管理-1.mdb" << 0 << "缺少数据库文件";
        QTest::newRow("manifest cut short") << "quorvel-backup.manifest" << 1 << "备份清单已损坏";
    }

    void damagedBackupIsRefused()
    {
        QFETCH(QString, file);
        QFETCH(int, damage);
        QFETCH(QString, problem);
        TempRegister temp;
        QTemporaryDir sources;
        QTemporaryDir place;
        const QStringList stored = addFiles(temp.reg(), sources.path(), QStringLiteral("a"), 2);
        const QString backup = place.filePath(QStringLiteral("backup"));
        QVERIFY(Backup::run(temp.reg(), backup));
        const QString path = backup + QLatin1Char('/') +
                             QString(file).replace(QStringLiteral("COPY"), stored.last());
        QByteArray bytes = TestFiles::read(path);
        if (damage == 0)
            QVERIFY(QFile::remove(path));
        else if (damage == 1)
            writeFile(path, bytes.left(bytes.size() - 2));
        else
            writeFile(path, bytes.replace(bytes.size() / 2, 1, "\x7f"));

        Result<Backup::Check> verified = Backup::verify(backup);
        QVERIFY(verified);
        QCOMPARE(verified->problems.size(), 1);
        QVERIFY2(verified->problems.first().contains(problem),
                 qPrintable(verified->problems.first()));
        const QString target = place.filePath(QStringLiteral("restored"));
        Result<Backup::Check> restored = Backup::restore(backup, target);
        QVERIFY(restored && restored->problems == verified->problems);
        // Nothing that looks like a register, not even a working folder.
        QCOMPARE(
            QDir(place.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{QStringLiteral("backup")});
    }

    // A backup folder may come from anyone: names that reach elsewhere and
    // links are refused as damage, and nothing beside the target changes.
    void hostileBackupIsRefused_data()
    {
        QTest::addColumn<QByteArray>("kind");    // the manifest line renamed; none when empty
        QTest::addColumn<QByteArray>("name");    // PLACE: around the backup; COPY: the line's own
        QTest::addColumn<bool>("outsideDigest"); // the line takes outside.txt's size and hash
        QTest::addColumn<QString>("plant");
        QTest::addColumn<QString>("problem");
        const QString notPlain = QStringLiteral("不是单个文件名");
        const auto row = [&](const char* title, const char* kind, const char* name, bool outside,
                             const char* plant, const QString& problem) {
            QTest::newRow(title) << QByteArray(kind) << QByteArray(name) << outside
                                 << QString::fromUtf8(plant) << problem;
        };
        row("copy up and out", "copy", "../../outside.txt", true, "", notPlain);
        row("absolute copy", "copy", "PLACE/outside.txt", true, "", notPlain);
        row("bin copy up and out", "bin", "../../../outside.txt", true, "", notPlain);
        row("database outside", "database", "../outside.mdb", false, "database", notPlain);
        row("through a linked subfolder", "copy", "sub/outside.txt", true, "sub", notPlain);
        row("NUL in a name", "copy", "COPY<NUL>/../../outside.txt", false, "", notPlain);
        row("empty name", "copy", "", false, "", QStringLiteral("无法识别"));
        row("copy is a link outside", "", "", false, "copy link", QStringLiteral("无法读取"));
        row("copy folder is a link", "", "", false, "pool link", QStringLiteral("缺少存储副本"));
    }

    void hostileBackupIsRefused()
    {
        QFETCH(QByteArray, kind);
        QFETCH(QByteArray, name);
        QFETCH(bool, outsideDigest);
        QFETCH(QString, plant);
        QFETCH(QString, problem);
        TempRegister temp;
        QTemporaryDir sources;
        QTemporaryDir place;
        QTemporaryDir elsewhere;
        const QStringList stored = addFiles(temp.reg(), sources.path(), QStringLiteral("a"), 3);
        QVERIFY(RecordDelete::deleteRecord(temp.reg(), temp.seen(3)).ok());
        const QString backup = place.filePath(QStringLiteral("backup"));
        QVERIFY(Backup::run(temp.reg(), backup));
        const QString outside = place.filePath(QStringLiteral("outside.txt"));
        writeFile(outside, "outside\n");
        struct stat before = {};
        QCOMPARE(::stat(QFile::encodeName(outside).constData(), &before), 0);
        const Result<ContentHash::Digest> digest = ContentHash::ofFile(outside);
        QVERIFY(digest);

        const QString pool = backup + QStringLiteral("/随机文件");
        QStringList around{QStringLiteral("backup"), QStringLiteral("outside.txt")};
        if (plant == QLatin1String("database")) {
            QVERIFY(QFile::copy(backup + QStringLiteral("/文件管理-1.mdb"),
                                place.filePath(QStringLiteral("outside.mdb"))));
            around << QStringLiteral("outside.mdb");
        } else if (plant == QLatin1String("sub")) {
            QVERIFY(QFile::link(place.path(), pool + QStringLiteral("/sub")));
        } else if (plant == QLatin1String("copy link")) {
            const QString copy = pool + QLatin1Char('/') + stored.first();
            QVERIFY(QFile::remove(copy) && QFile::link(outside, copy));
        } else if (plant == QLatin1String("pool link")) {
            const QString moved = elsewhere.filePath(QStringLiteral("pool"));
            QVERIFY(QDir().rename(pool, moved) && QFile::link(moved, pool));
        }
        if (!kind.isEmpty()) {
            const QString manifestPath = backup + QStringLiteral("/quorvel-backup.manifest");
            QList<QByteArray> lines = TestFiles::read(manifestPath).split('\n');
            const auto line = std::find_if(lines.begin(), lines.end(), [&](const QByteArray& l) {
                return l.startsWith(QByteArray(kind + '\t'));
            });
            QVERIFY(line != lines.end());
            QList<QByteArray> fields = line->split('\t');
            fields[3] = QByteArray(name)
                            .replace("PLACE", QFile::encodeName(place.path()))
                            .replace("COPY", fields.at(3))
                            .replace("<NUL>", QByteArray(1, '\0'));
            if (outsideDigest) {
                fields[1] = QByteArray::number(digest->size);
                fields[2] = digest->hash.toLatin1();
            }
            // The database line is renamed; a copy line is added, so the
            // records still find every copy of theirs.
            if (kind == "database") {
                *line = fields.join('\t');
            } else {
                lines.insert(lines.size() - 2, fields.join('\t'));
                lines[lines.size() - 2] = "end\t" + QByteArray::number(lines.size() - 2);
            }
            writeFile(manifestPath, lines.join('\n'));
        }

        Result<Backup::Check> verified = Backup::verify(backup);
        QVERIFY(verified);
        QVERIFY(!verified->problems.isEmpty());
        QVERIFY2(verified->problems.first().contains(problem),
                 qPrintable(verified->problems.join(QLatin1Char('\n'))));
        Result<Backup::Check> restored =
            Backup::restore(backup, place.filePath(QStringLiteral("restored")));
        QVERIFY(restored && restored->problems == verified->problems);
        // Nothing beside the target was written: no register, the outside file untouched.
        around.sort();
        QCOMPARE(
            QDir(place.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            around);
        struct stat after = {};
        QCOMPARE(::stat(QFile::encodeName(outside).constData(), &after), 0);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(TestFiles::read(outside), QByteArray("outside\n"));
    }

    void reportShowsSizeInItsUnit_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("bytes") << qint64(1023) << "1023 B";
        QTest::newRow("5 KB") << qint64(5000) << "4.9 KiB";
        QTest::newRow("just under a MiB") << qint64((1 << 20) - 1) << "1.0 MiB";
        QTest::newRow("MiB") << qint64(5 << 20) + (1 << 19) << "5.5 MiB";
        QTest::newRow("GiB") << (qint64(3) << 30) << "3.0 GiB";
    }

    void reportShowsSizeInItsUnit()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        Backup::Report report;
        report.bytesCopied = bytes;
        QVERIFY2(report.text().contains(QStringLiteral("共 %1）").arg(text)),
                 qPrintable(report.text()));
    }

    // A writer adds, modifies and deletes all through several backups: each
    // backup is one moment, every record in it with its copy and hash.
    void backupWhileAWriterWorksIsConsistent()
    {
        TempRegister temp;
        QTemporaryDir sources;
        QTemporaryDir place;
        addFiles(temp.reg(), sources.path(), QStringLiteral("base"), 20);
        const Register reg = temp.reg();
        std::atomic_bool stop = false;
        std::atomic_int rounds = 0;
        std::thread writer([&] {
            QTemporaryDir writerSources;
            for (int round = 0; !stop; ++round) {
                addFiles(reg, writerSources.path(), QStringLiteral("w%1").arg(round), 2);
                RecordModify::Changes changes;
                changes[RecordModify::Field::Remark] = QStringLiteral("第%1轮").arg(round);
                Result<QSqlQuery> rows = Sql::run(
                    reg.database(), QStringLiteral("SELECT rowid, 路径 FROM 文件管理 LIMIT 2"));
                QList<SeenRecord> seen;
                while (rows && rows->next())
                    seen << SeenRecord{rows->value(0).toLongLong(), rows->value(1).toString()};
                (void)RecordModify::apply(reg, seen, changes);
                (void)RecordDelete::deleteRecord(reg, seen.first());
                ++rounds;
            }
            reg.closeConnection();
        });
        // A failed check returns early: the writer stops and is joined all the same.
        const auto joined = qScopeGuard([&] {
            stop = true;
            writer.join();
        });
        // Until the writer has been at work through several backups.
        const int before = rounds;
        int backups = 0;
        for (; backups < 40 && (backups < 3 || rounds - before < 6); ++backups) {
            const int i = backups;
            const QString backup = place.filePath(QStringLiteral("b%1").arg(i % 2));
            Result<Backup::Report> report = Backup::run(temp.reg(), backup);
            QVERIFY2(report && report->complete(),
                     qPrintable(report ? report->text() : report.error().fullText()));
            expectSound(backup);
        }
        QVERIFY(rounds - before >= 6 && backups < 40);
    }
};

QTEST_GUILESS_MAIN(TestBackup)
#include "test_backup.moc"
