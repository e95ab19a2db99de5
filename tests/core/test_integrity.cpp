#include "integrity/IntegrityCheck.h"
#include "operations/RecordDelete.h"
#include "store/RecycleBin.h"
#include "store/folder/LiveWriter.h"
#include "store/folder/StoreFiles.h"
#include "store/folder/StoreFolder.h"
#include "store/sql/ContentHash.h"
#include "store/sql/Sql.h"
#include "support/TempRegister.h"
#include "support/TestFiles.h"
#include "trash/Trash.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using Integrity::Kind;

namespace {

void writeFile(const QString& path, const QByteArray& bytes, int ageSeconds = 3600)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(bytes);
    QVERIFY(file.flush());
    if (ageSeconds > 0) {
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds),
                                 QFileDevice::FileModificationTime));
    }
}

// A record with a stored copy and its recorded hash, as intake leaves it.
qint64 addHashed(TempRegister& temp, qint64 serial, const QString& name, const QByteArray& content)
{
    const qint64 rowid =
        temp.addRecord(serial, name, {}, {}, QStringLiteral("2020-01-02"), {}, {}, content);
    ContentHash::Hasher hasher;
    hasher.add(content);
    if (!ContentHash::record(temp.reg().database(), rowid, hasher.size(), hasher.hex()))
        qFatal("cannot record hash");
    return rowid;
}

void addRaw(TempRegister& temp, const QVariant& serial, const QString& fileName,
            const QVariant& storedName)
{
    QVERIFY(Sql::run(temp.reg().database(),
                     QStringLiteral("INSERT INTO 文件管理 (文件序号, 发件日期, 文件名, 路径) "
                                    "VALUES (?, '2020-01-02', ?, ?)"),
                     {serial, fileName, storedName})
                .ok());
}

Integrity::Report run(const TempRegister& temp, bool verify = false, bool repair = false)
{
    Integrity::Options options;
    options.verify = verify;
    options.repair = repair;
    Result<Integrity::Report> report = Integrity::check(temp.reg(), options);
    if (!report)
        qFatal("check failed: %s", qPrintable(report.error().fullText()));
    return report.value();
}

// Names reported for one kind, sorted.
QStringList names(const Integrity::Report& report, Kind kind)
{
    QStringList found;
    for (const Integrity::Finding& finding : report.findings) {
        if (finding.kind == kind)
            found << finding.name;
    }
    found.sort();
    return found;
}

const Integrity::Finding* first(const Integrity::Report& report, Kind kind)
{
    for (const Integrity::Finding& finding : report.findings) {
        if (finding.kind == kind)
            return &finding;
    }
    return nullptr;
}

} // namespace

class TestIntegrity : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void soundRegisterIsClean()
    {
        TempRegister temp;
        addHashed(temp, 1, QStringLiteral("报告.doc"), "report");
        addHashed(temp, 2, QStringLiteral("报告.k3Q9x0aBc7.doc"), "second report");
        const Integrity::Report report = run(temp, true);
        QCOMPARE(report.findings.size(), 0);
        QCOMPARE(report.records, 2);
        QCOMPARE(report.storeEntries, 2);
        QCOMPARE(report.needingDecision(), 0);
        QVERIFY(report.summary().contains(QStringLiteral("没有需要处理的问题")));
    }

    void everyKindOfDamageIsReported()
    {
        TempRegister temp;
        const QString store = temp.reg().storeFolder();
        addHashed(temp, 1, QStringLiteral("good.txt"), "good");
        temp.addRecord(2, QStringLiteral("missing.txt"));
        // Hostile stored names; the file "../x" would name exists, outside the store.
        writeFile(temp.folder() + QStringLiteral("/x"), "outside");
        temp.addRecord(3, QStringLiteral("../x"));
        temp.addRecord(4, QStringLiteral("/etc/passwd"));
        addRaw(temp, 9, QStringLiteral("无名.txt"), QVariant());
        addHashed(temp, 5, QStringLiteral("dup-a.txt"), "a");
        addHashed(temp, 5, QStringLiteral("dup-b.txt"), "b");
        addRaw(temp, QStringLiteral("第三"), QStringLiteral("text-serial.txt"),
               QStringLiteral("text-serial.txt"));
        writeFile(store + QStringLiteral("/text-serial.txt"), "t");
        addRaw(temp, 10, QStringLiteral("shared.txt"), QStringLiteral("good.txt"));
        // A stored copy that is a link out of the store, and one that is a folder.
        temp.addRecord(6, QStringLiteral("link.txt"));
        QVERIFY(QFile::link(QStringLiteral("/etc/hostname"), store + QStringLiteral("/link.txt")));
        temp.addRecord(7, QStringLiteral("folder.txt"));
        QVERIFY(QDir(store).mkdir(QStringLiteral("folder.txt")));
        // A named pipe, as a copy and as a stray: never opened, named for what it is.
        temp.addRecord(8, QStringLiteral("pipe.txt"));
        QCOMPARE(::mkfifo(QFile::encodeName(store + QStringLiteral("/pipe.txt")).constData(), 0600),
                 0);
        QCOMPARE(
            ::mkfifo(QFile::encodeName(store + QStringLiteral("/stray-pipe")).constData(), 0600),
            0);
        // Files no record names.
        writeFile(store + QStringLiteral("/stray.bin"), "stray");
        writeFile(store + QStringLiteral("/.hidden"), "h");
        QVERIFY(QDir(store).mkdir(QStringLiteral("sub")));
        const QString part = StoreFiles::partName();
        const QString deleting = StoreFiles::deletingName();
        writeFile(store + QLatin1Char('/') + part, "half a co");
        writeFile(store + QLatin1Char('/') + deleting, "gone");

        const Integrity::Report report = run(temp);
        QCOMPARE(names(report, Kind::MissingCopy), QStringList{QStringLiteral("missing.txt")});
        QCOMPARE(names(report, Kind::BadStoredName),
                 (QStringList{QString(), QStringLiteral("../x"), QStringLiteral("/etc/passwd")}));
        QCOMPARE(names(report, Kind::NotAFile),
                 (QStringList{QStringLiteral("folder.txt"), QStringLiteral("link.txt"),
                              QStringLiteral("pipe.txt")}));
        for (const Integrity::Finding& finding : report.findings) {
            if (finding.name.contains(QStringLiteral("pipe")))
                QVERIFY2(finding.detail.contains(QStringLiteral("管道")),
                         qPrintable(finding.text()));
        }
        QCOMPARE(names(report, Kind::SharedCopy), QStringList{QStringLiteral("good.txt")});
        QCOMPARE(names(report, Kind::StrayFile),
                 (QStringList{QStringLiteral(".hidden"), QStringLiteral("stray-pipe"),
                              QStringLiteral("stray.bin"), QStringLiteral("sub")}));
        // The deleting leftover is kept: a record's copy is missing and it may be that copy.
        QCOMPARE(names(report, Kind::Leftover), (QStringList{deleting, part}));
        QCOMPARE(report.removableLeftovers(), 1);
        QCOMPARE(names(report, Kind::SerialNotNumber),
                 QStringList{QStringLiteral("text-serial.txt")});
        const Integrity::Finding* duplicate = first(report, Kind::DuplicateSerial);
        QVERIFY(duplicate);
        QCOMPARE(report.count(Kind::DuplicateSerial), 1);
        QCOMPARE(duplicate->serial.toLongLong(), 5);
        QVERIFY(duplicate->text().contains(QStringLiteral("dup-a.txt")));
        QVERIFY(duplicate->text().contains(QStringLiteral("dup-b.txt")));
        QCOMPARE(report.count(Kind::NotHashed), 0); // only reported when verifying
        for (const Integrity::Finding& finding : report.findings) {
            QVERIFY(!finding.text().isEmpty());
            QVERIFY(!Integrity::kindLabel(finding.kind).isEmpty());
        }
        QCOMPARE(report.needingDecision(), report.findings.size());
        // Nothing was touched.
        QCOMPARE(TestFiles::read(temp.folder() + QStringLiteral("/x")), QByteArray("outside"));
        QVERIFY(QFile::exists(store + QLatin1Char('/') + part));
    }

    void repairRemovesLeftoversOnly()
    {
        TempRegister temp;
        const QString store = temp.reg().storeFolder();
        addHashed(temp, 1, QStringLiteral("good.txt"), "good");
        temp.addRecord(2, QStringLiteral("../x"));
        writeFile(temp.folder() + QStringLiteral("/x"), "outside");
        // A record may even name a file that looks like a leftover: it is its copy.
        const QString namedLikeLeftover = StoreFiles::partName();
        temp.addRecord(3, namedLikeLeftover, {}, {}, QStringLiteral("2020-01-02"), {}, {}, "mine");
        writeFile(store + QStringLiteral("/stray.bin"), "stray");
        // Working files of programs that ended, however recent, go at once;
        // those of a running one (however old) are its own and stay.
        int error = 0;
        std::shared_ptr<LiveWriter> live = LiveWriter::hold(store, &error);
        QVERIFY(live);
        const QString part = StoreFiles::partName();
        const QString deleting = StoreFiles::deletingName(QStringLiteral("ended0000"));
        const QString fresh = StoreFiles::partName(QStringLiteral("ended0000"));
        const QString deadLock = LiveWriter::lockPrefix + QStringLiteral("ended0000");
        const QString busy = StoreFiles::partName(live->owner());
        writeFile(store + QLatin1Char('/') + part, "half");
        writeFile(store + QLatin1Char('/') + deleting, "old");
        writeFile(store + QLatin1Char('/') + fresh, "just written", 0);
        writeFile(store + QLatin1Char('/') + deadLock, "", 0);
        writeFile(store + QLatin1Char('/') + busy, "being written");

        const Integrity::Report repaired = run(temp, false, true);
        for (const QString& gone : {part, deleting, fresh, deadLock})
            QVERIFY2(!QFile::exists(store + QLatin1Char('/') + gone), qPrintable(gone));
        QVERIFY(QFile::exists(store + QLatin1Char('/') + busy));
        QVERIFY(QFile::exists(store + QLatin1Char('/') + LiveWriter::lockPrefix + live->owner()));
        QCOMPARE(repaired.inUse, 1);
        QVERIFY(QFile::exists(store + QStringLiteral("/good.txt")));
        QVERIFY(QFile::exists(store + QStringLiteral("/stray.bin")));
        QCOMPARE(TestFiles::read(store + QLatin1Char('/') + namedLikeLeftover), QByteArray("mine"));
        QCOMPARE(TestFiles::read(temp.folder() + QStringLiteral("/x")), QByteArray("outside"));
        int resolved = 0;
        for (const Integrity::Finding& finding : repaired.findings) {
            if (finding.resolved) {
                ++resolved;
                QCOMPARE(finding.kind, Kind::Leftover);
                QVERIFY(finding.text().contains(QStringLiteral("已删除")));
            }
        }
        QCOMPARE(resolved, 4);
        // Still open: the bad name, the stray file.
        QCOMPARE(repaired.needingDecision(), 2);

        // Once its program has ended, the busy file is a leftover at once.
        live.reset();
        QCOMPARE(names(run(temp), Kind::Leftover), QStringList{busy});
        const Integrity::Report after = run(temp, false, true);
        QVERIFY(!QFile::exists(store + QLatin1Char('/') + busy));
        QCOMPARE(after.inUse, 0);
    }

    void interruptedDeleteIsPutBackWhenItsContentMatches()
    {
        TempRegister temp;
        const QString store = temp.reg().storeFolder();
        addHashed(temp, 1, QStringLiteral("kept.doc"), "kept content");
        addHashed(temp, 2, QStringLiteral("other.doc"), "other content");
        // The delete of record 1 stopped after setting its copy aside; another
        // set-aside file matches no record.
        const QString setAside = StoreFiles::deletingName();
        const QString unknown = StoreFiles::deletingName();
        QVERIFY(QFile::rename(store + QStringLiteral("/kept.doc"),
                              store + QLatin1Char('/') + setAside));
        writeFile(store + QLatin1Char('/') + unknown, "something else");

        const Integrity::Report report = run(temp);
        QCOMPARE(report.removableLeftovers(), 1);
        QVERIFY(!QFile::exists(store + QStringLiteral("/kept.doc")));

        const Integrity::Report repaired = run(temp, false, true);
        QCOMPARE(TestFiles::read(store + QStringLiteral("/kept.doc")), QByteArray("kept content"));
        QVERIFY(!QFile::exists(store + QLatin1Char('/') + setAside));
        QVERIFY(QFile::exists(store + QLatin1Char('/') + unknown));
        QCOMPARE(repaired.count(Kind::MissingCopy), 1);
        QVERIFY(first(repaired, Kind::MissingCopy)->resolved);

        // With no copy missing any more, the unknown one can go.
        const Integrity::Report last = run(temp, true, true);
        QVERIFY(!QFile::exists(store + QLatin1Char('/') + unknown));
        QCOMPARE(last.needingDecision(), 0);
    }

    // The bin: what an interrupted delete, restore or purge leaves is
    // finished or undone by repair; a bin record without its copy and a file
    // of the bin that no record names wait for the user.
    void binLeftoversAreRepairedAndDamageReported()
    {
        TempRegister temp;
        const QString store = temp.reg().storeFolder();
        const QString bin = store + QLatin1Char('/') + RecycleBin::folderName;
        QList<qint64> deleted;
        for (const char* name : {"a.txt", "c.txt", "d.txt"}) {
            const qint64 rowid = addHashed(temp, deleted.size() + 1, QString::fromLatin1(name),
                                           QByteArray(name) + " content");
            QVERIFY(RecordDelete::deleteRecord(temp.reg(), temp.seen(rowid)).ok());
            deleted << rowid;
        }
        addHashed(temp, 9, QStringLiteral("b.txt"), "b content");
        QVERIFY(run(temp, true).findings.isEmpty());
        // A delete of b killed before its commit; a delete (or restore) of a
        // killed between its commit and the end.
        QCOMPARE(::link(QFile::encodeName(store + QStringLiteral("/b.txt")).constData(),
                        QFile::encodeName(bin + QStringLiteral("/b.txt")).constData()),
                 0);
        QCOMPARE(::link(QFile::encodeName(bin + QStringLiteral("/a.txt")).constData(),
                        QFile::encodeName(store + QStringLiteral("/a.txt")).constData()),
                 0);
        // A purge of c killed before its commit.
        const QString purging = Trash::purgingName(QStringLiteral("ended0000"), deleted.at(1));
        QVERIFY(QFile::rename(bin + QStringLiteral("/c.txt"), bin + QLatin1Char('/') + purging));
        // Damage: d's copy gone from the bin, a file there nobody names.
        QVERIFY(QFile::remove(bin + QStringLiteral("/d.txt")));
        writeFile(bin + QStringLiteral("/stray.bin"), "stray");

        const Integrity::Report report = run(temp);
        QCOMPARE(report.storeEntries, 2); // the bin folder is no stray entry
        QCOMPARE(report.binRecords, 3);
        QCOMPARE(names(report, Kind::Leftover),
                 (QStringList{purging, QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
        QCOMPARE(report.removableLeftovers(), 3);
        QCOMPARE(names(report, Kind::BinMissingCopy),
                 (QStringList{QStringLiteral("c.txt"), QStringLiteral("d.txt")}));
        QCOMPARE(names(report, Kind::BinStrayFile), QStringList{QStringLiteral("stray.bin")});
        QCOMPARE(report.count(Kind::StrayFile), 0);

        const Integrity::Report repaired = run(temp, false, true);
        QCOMPARE(repaired.needingDecision(), 2); // d's missing copy, the stray file
        QVERIFY(!QFile::exists(store + QStringLiteral("/a.txt")));
        QCOMPARE(TestFiles::read(bin + QStringLiteral("/a.txt")), QByteArray("a.txt content"));
        QVERIFY(!QFile::exists(bin + QStringLiteral("/b.txt")));
        QCOMPARE(TestFiles::read(store + QStringLiteral("/b.txt")), QByteArray("b content"));
        QCOMPARE(TestFiles::read(bin + QStringLiteral("/c.txt")), QByteArray("c.txt content"));
        QCOMPARE(TestFiles::read(bin + QStringLiteral("/stray.bin")), QByteArray("stray"));
        // Restored after all that, c is whole, hash and all.
        QVERIFY(Trash::restore(temp.reg(), deleted.at(1)));
        QCOMPARE(run(temp, true).needingDecision(), 2);
    }

    // Where a share has no safe rename, a copy is named by claiming the name
    // first: never over another file, and nothing left behind.
    void namingByClaimNeverReplaces()
    {
        TempRegister temp;
        const QString store = temp.reg().storeFolder();
        writeFile(store + QStringLiteral("/working"), "new copy");
        writeFile(store + QStringLiteral("/taken"), "kept");
        const Result<StoreFolder> folder = StoreFolder::open(temp.reg());
        QVERIFY(folder.ok());
        QCOMPARE(folder->renameOverClaim(QStringLiteral("working"), QStringLiteral("taken")),
                 EEXIST);
        QCOMPARE(TestFiles::read(store + QStringLiteral("/taken")), QByteArray("kept"));
        QCOMPARE(folder->renameOverClaim(QStringLiteral("gone"), QStringLiteral("free")), ENOENT);
        QVERIFY(!QFile::exists(store + QStringLiteral("/free")));
        QCOMPARE(folder->renameOverClaim(QStringLiteral("working"), QStringLiteral("free")), 0);
        QCOMPARE(TestFiles::read(store + QStringLiteral("/free")), QByteArray("new copy"));
        QVERIFY(!QFile::exists(store + QStringLiteral("/working")));
    }

    // A store folder that is a link to another folder is reported, not
    // followed: its files are never hashed, repaired or counted as the store.
    void linkedStoreFolderIsReported()
    {
        TempRegister temp;
        addHashed(temp, 1, QStringLiteral("good.txt"), "good");
        QTemporaryDir elsewhere;
        writeFile(elsewhere.filePath(QStringLiteral("good.txt")), "good");
        writeFile(elsewhere.filePath(StoreFiles::partName()), "someone else's");
        QVERIFY(QDir(temp.reg().storeFolder()).removeRecursively());
        QVERIFY(QFile::link(elsewhere.path(), temp.reg().storeFolder()));
        Integrity::Options options;
        options.verify = true;
        options.repair = true;
        const Result<Integrity::Report> report = Integrity::check(temp.reg(), options);
        QVERIFY(!report.ok());
        QVERIFY2(report.error().message.contains(QStringLiteral("链接")),
                 qPrintable(report.error().message));
        QCOMPARE(QDir(elsewhere.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    void verifyFindsChangedContentAndSize()
    {
        TempRegister temp;
        const QString store = temp.reg().storeFolder();
        addHashed(temp, 1, QStringLiteral("byte.bin"), QByteArray(5000, 'a'));
        addHashed(temp, 2, QStringLiteral("size.bin"), "twelve bytes");
        addHashed(temp, 3, QStringLiteral("fine.bin"), "fine");
        temp.addRecord(4, QStringLiteral("old.bin"), {}, {}, QStringLiteral("2020-01-02"), {}, {},
                       "registered before hashes");
        QByteArray changed(5000, 'a');
        changed[4000] = 'b';
        writeFile(store + QStringLiteral("/byte.bin"), changed, 0);
        writeFile(store + QStringLiteral("/size.bin"), "thirteen byte", 0);

        // Without reading the files, only the size shows.
        const Integrity::Report quick = run(temp);
        QCOMPARE(names(quick, Kind::SizeChanged), QStringList{QStringLiteral("size.bin")});
        QCOMPARE(quick.count(Kind::ContentChanged), 0);

        qint64 lastDone = -1;
        qint64 lastTotal = -1;
        Integrity::Options options;
        options.verify = true;
        options.progress = [&](qint64 done, qint64 total) {
            lastDone = done;
            lastTotal = total;
        };
        Result<Integrity::Report> full = Integrity::check(temp.reg(), options);
        QVERIFY(full.ok());
        QCOMPARE(names(*full, Kind::SizeChanged), QStringList{QStringLiteral("size.bin")});
        QCOMPARE(names(*full, Kind::ContentChanged), QStringList{QStringLiteral("byte.bin")});
        QCOMPARE(names(*full, Kind::NotHashed), QStringList{QStringLiteral("old.bin")});
        QVERIFY(!first(*full, Kind::NotHashed)->needsDecision());
        QCOMPARE(full->needingDecision(), 2);
        QVERIFY(full->summary().contains(QStringLiteral("1 个存储副本")));
        QCOMPARE(lastDone, lastTotal);
        QCOMPARE(lastTotal, 3);

        std::atomic<bool> cancelled{true};
        options.cancelled = &cancelled;
        QVERIFY(!Integrity::check(temp.reg(), options).ok());
    }

    void damagedDatabaseIsReported_data()
    {
        QTest::addColumn<QString>("harm");
        QTest::addColumn<bool>("verify");
        // Index entries missing for rows of the table: only the full check
        // compares indexes with their tables.
        QTest::newRow("index lacks rows") << "index" << true;
        QTest::newRow("index page overwritten") << "page" << false;
    }

    void damagedDatabaseIsReported()
    {
        QFETCH(QString, harm);
        QFETCH(bool, verify);
        TempRegister temp;
        addHashed(temp, 1, QStringLiteral("a.txt"), "a");
        addHashed(temp, 2, QStringLiteral("b.txt"), "b");
        QSqlDatabase db = temp.reg().database();
        if (harm == QLatin1String("index")) {
            // An empty index passed off as one of the record table's.
            for (const char* sql :
                 {"CREATE TABLE scratch(x)", "CREATE INDEX scratch_x ON scratch(x)",
                  "PRAGMA writable_schema = ON",
                  "UPDATE sqlite_master SET tbl_name = '文件管理', "
                  "sql = 'CREATE INDEX scratch_x ON \"文件管理\"(\"文件名\")' "
                  "WHERE name = 'scratch_x'",
                  "PRAGMA writable_schema = OFF"})
                QVERIFY2(Sql::run(db, QString::fromUtf8(sql)).ok(), sql);
        } else {
            Result<QVariant> root =
                Sql::scalar(db, QStringLiteral("SELECT rootpage FROM sqlite_master WHERE name = ?"),
                            {QStringLiteral("文件管理_文件序号")});
            Result<QVariant> pageSize = Sql::scalar(db, QStringLiteral("PRAGMA page_size"));
            QVERIFY(root && root->toInt() > 1 && pageSize);
            QVERIFY(Sql::run(db, QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")).ok());
            db = QSqlDatabase();
            temp.reg().closeConnection();
            QFile file(temp.reg().databasePath());
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.seek(qint64(root->toInt() - 1) * pageSize->toInt()));
            file.write(QByteArray(pageSize->toInt(), '\x5a'));
        }
        db = QSqlDatabase();
        temp.reg().closeConnection();

        const Integrity::Report report = run(temp, verify);
        const Integrity::Finding* damaged = first(report, Kind::DatabaseDamaged);
        QVERIFY(damaged);
        QVERIFY(damaged->needsDecision());
        QVERIFY2(damaged->text().contains(QStringLiteral("已损坏")), qPrintable(damaged->text()));
        QVERIFY(!report.summary().contains(QStringLiteral("没有需要处理的问题")));
    }
};

QTEST_GUILESS_MAIN(TestIntegrity)
#include "test_integrity.moc"
