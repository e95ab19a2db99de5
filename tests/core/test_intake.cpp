#include "intake/Intake.h"
#include "intake/StoredName.h"
#include "store/RecordStore.h"
#include "store/RegisterNames.h"
#include "store/SeenRecord.h"
#include "store/folder/StoreFiles.h"
#include "store/sql/ContentHash.h"
#include "store/sql/Sql.h"
#include "support/TempRegister.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

namespace {

struct Row {
    qint64 serial;
    QString date, fileName, storedName, remark, recipient, method, folder;
};

QList<Row> rows(const Register& reg)
{
    QList<Row> result;
    Result<QSqlQuery> query =
        Sql::run(reg.database(), QStringLiteral("SELECT * FROM 文件管理 ORDER BY 文件序号, rowid"));
    while (query && query->next()) {
        result << Row{query->value(0).toLongLong(), query->value(1).toString(),
                      query->value(2).toString(),   query->value(3).toString(),
                      query->value(4).toString(),   query->value(5).toString(),
                      query->value(6).toString(),   query->value(7).toString()};
    }
    return result;
}

QStringList storeEntries(const Register& reg)
{
    return QDir(reg.storeFolder())
        .entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Makes inserting a record of `fileName` fail with RAISE(`raise`). (A
// trigger takes no bound values; the names here are the test's own.)
bool failInsertOf(const Register& reg, const QString& fileName, const QString& raise)
{
    QString literal = fileName;
    literal.replace(QLatin1Char('\''), QStringLiteral("''"));
    return Sql::run(reg.database(),
                    QStringLiteral("CREATE TRIGGER \"fail %1\" BEFORE INSERT ON 文件管理 WHEN "
                                   "new.文件名 = '%1' BEGIN SELECT RAISE(%2); END")
                        .arg(literal, raise))
        .ok();
}

Intake::Details someDetails()
{
    return {.date = QDate(2006, 3, 5),
            .remark = QStringLiteral("备注"),
            .recipient = QStringLiteral("张三"),
            .method = QStringLiteral("Email"),
            .folder = QStringLiteral("项目")};
}

} // namespace

class TestIntake : public QObject {
    Q_OBJECT

    QTemporaryDir m_sources;

    QString source(const QString& name, const QByteArray& content)
    {
        const QString path = m_sources.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(content) != content.size())
            qFatal("cannot write test source");
        return path;
    }

private Q_SLOTS:
    void registersOneFileWithEveryColumn()
    {
        TempRegister temp;
        const QString path = source(QStringLiteral("报告.doc"), "content");
        const Intake::Outcome outcome =
            Intake::DdtaUp(temp.reg(), Intake::File::fromPath(path), someDetails());
        QCOMPARE(outcome.kind, Intake::Outcome::Registered);
        QCOMPARE(outcome.serial, 1);
        QCOMPARE(outcome.storedName, QStringLiteral("报告.doc"));
        const QList<Row> stored = rows(temp.reg());
        QCOMPARE(stored.size(), 1);
        QCOMPARE(stored[0].date, QStringLiteral("2006-03-05"));
        QCOMPARE(stored[0].fileName, QStringLiteral("报告.doc"));
        QCOMPARE(stored[0].storedName, QStringLiteral("报告.doc"));
        QCOMPARE(stored[0].remark, QStringLiteral("备注"));
        QCOMPARE(stored[0].recipient, QStringLiteral("张三"));
        QCOMPARE(stored[0].method, QStringLiteral("Email"));
        QCOMPARE(stored[0].folder, QStringLiteral("项目"));
        // Nothing but the copy is left in the store (no temporary files).
        QCOMPARE(storeEntries(temp.reg()), QStringList{QStringLiteral("报告.doc")});
        QVERIFY(QFile::exists(path));
    }

    void clashGetsRandomMiddle_data()
    {
        // The stored name of the first file, and the pattern of the second's.
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("pattern");
        const auto row = [](const char* tag, const QString& name, const QString& stored,
                            const QString& pattern) {
            QTest::newRow(tag) << name << stored << pattern;
        };
        row("extension", QStringLiteral("报告.doc"), QStringLiteral("报告.doc"),
            QStringLiteral("^报告\\.[0-9A-Za-z]{10}\\.doc$"));
        // Names stay valid on a Windows share: no final dot after the random part.
        row("no extension", QStringLiteral("README"), QStringLiteral("README"),
            QStringLiteral("^README\\.[0-9A-Za-z]{10}$"));
        row("two dots", QStringLiteral("a.tar.gz"), QStringLiteral("a.tar.gz"),
            QStringLiteral("^a\\.tar\\.[0-9A-Za-z]{10}\\.gz$"));
        row("characters a share refuses", QStringLiteral("a<b>c:d\"e|f?g*h\\i.txt"),
            QStringLiteral("a_b_c_d_e_f_g_h_i.txt"),
            QStringLiteral("^a_b_c_d_e_f_g_h_i\\.[0-9A-Za-z]{10}\\.txt$"));
        row("control characters", QStringLiteral("x\ty\x01\x1f.txt"), QStringLiteral("x_y__.txt"),
            QStringLiteral("^x_y__\\.[0-9A-Za-z]{10}\\.txt$"));
        row("final dots and spaces", QStringLiteral("notes. . "), QStringLiteral("notes"),
            QStringLiteral("^notes\\.[0-9A-Za-z]{10}$"));
        row("extension then a dot", QStringLiteral("plan.doc."), QStringLiteral("plan.doc"),
            QStringLiteral("^plan\\.[0-9A-Za-z]{10}\\.doc$"));
    }

    void clashGetsRandomMiddle()
    {
        QFETCH(QString, name);
        QFETCH(QString, stored);
        QFETCH(QString, pattern);
        TempRegister temp;
        const QString first = source(name, "first");
        const Intake::Outcome firstOutcome =
            Intake::DdtaUp(temp.reg(), Intake::File::fromPath(first), someDetails());
        QCOMPARE(firstOutcome.kind, Intake::Outcome::Registered);
        QCOMPARE(firstOutcome.storedName, stored);
        const QString second = source(name, "second");
        const Intake::Outcome outcome =
            Intake::DdtaUp(temp.reg(), Intake::File::fromPath(second), someDetails());
        QCOMPARE(outcome.kind, Intake::Outcome::Registered);
        QVERIFY2(QRegularExpression(pattern).match(outcome.storedName).hasMatch(),
                 qPrintable(outcome.storedName));
        const QList<Row> rowsStored = rows(temp.reg());
        QCOMPARE(rowsStored.size(), 2);
        QCOMPARE(rowsStored[1].fileName, name);
        QCOMPARE(rowsStored[1].storedName, outcome.storedName);
        // The first copy is untouched, the second has its own content.
        QCOMPARE(TestFiles::read(temp.reg().storedCopyPath(stored)), QByteArray("first"));
        QCOMPARE(TestFiles::read(temp.reg().storedCopyPath(outcome.storedName)),
                 QByteArray("second"));
    }

    void serialsContinueAfterTheHighest_data()
    {
        // A refused file shows as a null serial.
        QTest::addColumn<QString>("declared");
        QTest::addColumn<QVariantList>("existing");
        QTest::addColumn<QVariantList>("expected");
        constexpr qint64 top = std::numeric_limits<qint64>::max();
        QTest::newRow("empty register") << "INTEGER" << QVariantList{} << QVariantList{1, 2, 3};
        QTest::newRow("highest 41")
            << "INTEGER" << QVariantList{3, 41, 7} << QVariantList{42, 43, 44};
        QTest::newRow("column declared TEXT")
            << "TEXT" << QVariantList{9, 10} << QVariantList{11, 12, 13};
        QTest::newRow("TEXT at the top")
            << "TEXT" << QVariantList{top} << QVariantList{QVariant(), QVariant(), QVariant()};
        QTest::newRow("minus one") << "INTEGER" << QVariantList{-1} << QVariantList{0, 1, 2};
        QTest::newRow("real") << "INTEGER" << QVariantList{2.5} << QVariantList{3, 4, 5};
        QTest::newRow("near the top")
            << "INTEGER" << QVariantList{top - 2} << QVariantList{top - 1, top, QVariant()};
        QTest::newRow("1e300") << "INTEGER" << QVariantList{1e300}
                               << QVariantList{QVariant(), QVariant(), QVariant()};
    }

    void serialsContinueAfterTheHighest()
    {
        QFETCH(QString, declared);
        QFETCH(QVariantList, existing);
        QFETCH(QVariantList, expected);
        TempRegister temp;
        if (declared != QStringLiteral("INTEGER")) {
            // The declared type, as a register made elsewhere may have it.
            QSqlQuery query(temp.reg().database());
            QVERIFY(query.exec(QStringLiteral("PRAGMA writable_schema = ON")));
            QVERIFY(query.exec(QStringLiteral("UPDATE sqlite_master SET sql = replace(sql, "
                                              "'\"文件序号\" INTEGER', '\"文件序号\" %1') "
                                              "WHERE name = '文件管理'")
                                   .arg(declared)));
            query.finish();
            temp.reg().closeConnection();
        }
        for (const QVariant& serial : existing) {
            const qint64 rowid =
                temp.addRecord(0, QStringLiteral("old%1.txt").arg(serial.toString()));
            QVERIFY(Sql::run(temp.reg().database(),
                             QStringLiteral("UPDATE 文件管理 SET 文件序号 = ? WHERE rowid = ?"),
                             {serial, rowid}));
        }
        const QList<Intake::File> files = {
            Intake::File::fromPath(source(QStringLiteral("one.txt"), "1")),
            Intake::File::fromPath(source(QStringLiteral("two.txt"), "2")),
            Intake::File::fromPath(source(QStringLiteral("three.txt"), "3"))};
        const QList<Intake::Outcome> outcomes = Intake::runBatch(temp.reg(), files, someDetails());
        QVariantList serials;
        for (const Intake::Outcome& outcome : outcomes)
            serials << (outcome.kind == Intake::Outcome::Registered ? QVariant(outcome.serial)
                                                                    : QVariant());
        QCOMPARE(serials, expected);
        // What was refused left neither record nor copy; no serial is used twice.
        const qsizetype registered = expected.size() - expected.count(QVariant());
        QCOMPARE(rows(temp.reg()).size(), existing.size() + registered);
        QCOMPARE(storeEntries(temp.reg()).size(), registered);
        QCOMPARE(Sql::scalar(temp.reg().database(),
                             QStringLiteral("SELECT count(DISTINCT 文件序号) FROM 文件管理"))
                     ->toLongLong(),
                 existing.size() + registered);
    }

    void failuresDoNotStopTheBatch()
    {
        TempRegister temp;
        QDir(m_sources.path()).mkpath(QStringLiteral("a folder"));
        const QString missing = m_sources.filePath(QStringLiteral("gone.txt"));
        const QList<Intake::File> files = {
            Intake::File::fromPath(source(QStringLiteral("first.txt"), "1")),
            Intake::File::fromPath(source(QStringLiteral("empty.txt"), QByteArray())),
            Intake::File::fromPath(missing),
            Intake::File::fromPath(m_sources.filePath(QStringLiteral("a folder"))),
            Intake::File::fromPath(source(QStringLiteral("last.txt"), "4"))};
        const QList<Intake::Outcome> outcomes = Intake::runBatch(temp.reg(), files, someDetails());
        QCOMPARE(outcomes.size(), 5);
        QCOMPARE(outcomes[0].kind, Intake::Outcome::Registered);
        QCOMPARE(outcomes[1].kind, Intake::Outcome::EmptySkipped);
        QCOMPARE(outcomes[1].error.message, QStringLiteral("不能保存大小为0的文件"));
        QCOMPARE(outcomes[2].kind, Intake::Outcome::Failed);
        QCOMPARE(outcomes[2].fileName, QStringLiteral("gone.txt"));
        QVERIFY(!outcomes[2].error.message.isEmpty());
        QCOMPARE(outcomes[3].kind, Intake::Outcome::Failed);
        QCOMPARE(outcomes[4].kind, Intake::Outcome::Registered);
        // Consecutive serials for the registered ones, nothing for the rest.
        QCOMPARE(outcomes[0].serial, 1);
        QCOMPARE(outcomes[4].serial, 2);
        QCOMPARE(rows(temp.reg()).size(), 2);
        QCOMPARE(storeEntries(temp.reg()),
                 (QStringList{QStringLiteral("first.txt"), QStringLiteral("last.txt")}));
        // A missing source is not created by trying to read it.
        QVERIFY(!QFile::exists(missing));
    }

    void textsAreCutToTheirColumns()
    {
        TempRegister temp;
        const QString longName = QString(56, QLatin1Char('n')) + QStringLiteral(".txt");
        QCOMPARE(longName.size(), 60);
        Intake::Details details = someDetails();
        details.remark = QString(200, QChar(0x5907));
        details.recipient = QString(70, QLatin1Char('r'));
        details.method = QString(51, QLatin1Char('m'));
        details.folder = QString(80, QChar(0x6587));
        const Intake::Outcome outcome =
            Intake::DdtaUp(temp.reg(), Intake::File::fromPath(source(longName, "x")), details);
        QCOMPARE(outcome.kind, Intake::Outcome::Registered);
        const Row row = rows(temp.reg()).value(0);
        QCOMPARE(row.fileName, longName.left(50));
        QCOMPARE(row.storedName, longName);
        QVERIFY(QFile::exists(temp.reg().storedCopyPath(longName)));
        QCOMPARE(row.remark, details.remark.left(150));
        QCOMPARE(row.recipient, details.recipient.left(50));
        QCOMPARE(row.method, details.method.left(50));
        QCOMPARE(row.folder, details.folder.left(50));

        // Empty details are stored as empty texts.
        const Intake::Outcome bare = Intake::DdtaUp(
            temp.reg(), Intake::File::fromPath(source(QStringLiteral("bare.txt"), "y")),
            {.date = QDate(2020, 1, 2)});
        QCOMPARE(bare.kind, Intake::Outcome::Registered);
        const Row empty = rows(temp.reg()).value(1);
        QCOMPARE(empty.recipient, QStringLiteral(""));
        QVERIFY(!empty.recipient.isNull());
        QCOMPARE(empty.folder, QStringLiteral(""));
    }

    void longNamesAreShortenedToFit_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("extension");
        // 110 Chinese characters are 330 bytes: too long for the file system.
        QTest::newRow("chinese") << QString(110, QChar(0x62A5)) + QStringLiteral(".docx")
                                 << QStringLiteral(".docx");
        // 200 ASCII characters fit the file system but not the column.
        QTest::newRow("ascii") << QString(196, QLatin1Char('a')) + QStringLiteral(".pdf")
                               << QStringLiteral(".pdf");
        QTest::newRow("no extension") << QString(100, QChar(0x6587)) << QString();
    }

    void longNamesAreShortenedToFit()
    {
        QFETCH(QString, name);
        QFETCH(QString, extension);
        TempRegister temp;
        const QString path = source(QStringLiteral("source.bin"), "payload");
        for (int round = 0; round < 2; ++round) { // the second one clashes
            // The name as it arrives from a file system that allows longer names.
            const Intake::File file{path, name};
            const Intake::Outcome outcome = Intake::DdtaUp(temp.reg(), file, someDetails());
            QCOMPARE(outcome.kind, Intake::Outcome::Registered);
            QVERIFY(outcome.storedName.size() <= 150);
            QVERIFY(outcome.storedName.toUtf8().size() <= 255);
            QVERIFY(outcome.storedName.endsWith(extension));
            const Row row = rows(temp.reg()).value(round);
            QCOMPARE(row.storedName, outcome.storedName);
            QCOMPARE(TestFiles::read(temp.reg().storedCopyPath(row.storedName)),
                     QByteArray("payload"));
            QCOMPARE(row.fileName, name.left(50));
        }
        QCOMPARE(storeEntries(temp.reg()).size(), 2);
    }

    void storedCopyIsByteIdentical_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("nul and line breaks")
            << QByteArray("a\0b\r\n\nc\rd\0\0", 11) + QByteArray(1, '\xff');
        QByteArray large(7 * 1024 * 1024 + 13, Qt::Uninitialized);
        QRandomGenerator generator(42);
        generator.fillRange(reinterpret_cast<quint32*>(large.data()), large.size() / 4);
        QTest::newRow("several MiB") << large;
    }

    void storedCopyIsByteIdentical()
    {
        QFETCH(QByteArray, content);
        TempRegister temp;
        const QString path = source(QStringLiteral("data.bin"), content);
        // The copy keeps the source's time, as a file manager shows it.
        const QDateTime modified(QDate(2001, 2, 3), QTime(4, 5, 6, 789));
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite) &&
                    file.setFileTime(modified, QFileDevice::FileModificationTime));
        }
        QList<qint64> progress;
        const Intake::Outcome outcome =
            Intake::DdtaUp(temp.reg(), Intake::File::fromPath(path), someDetails(), 0,
                           [&](int index, const QString& name, qint64 done, qint64 total) {
                               QCOMPARE(index, 0);
                               QCOMPARE(name, QStringLiteral("data.bin"));
                               QCOMPARE(total, content.size());
                               progress << done;
                           });
        QCOMPARE(outcome.kind, Intake::Outcome::Registered);
        QCOMPARE(TestFiles::read(temp.reg().storedCopyPath(outcome.storedName)), content);
        QCOMPARE(QFileInfo(temp.reg().storedCopyPath(outcome.storedName)).lastModified(), modified);
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last(), content.size());
        QVERIFY(std::is_sorted(progress.begin(), progress.end()));
    }

    void failingInsertLeavesNoCopy()
    {
        TempRegister temp;
        QVERIFY(Sql::run(temp.reg().database(),
                         QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON 文件管理 "
                                        "BEGIN SELECT RAISE(ABORT, 'refused'); END")));
        const Intake::Outcome outcome =
            Intake::DdtaUp(temp.reg(), Intake::File::fromPath(source(QStringLiteral("x.txt"), "x")),
                           someDetails());
        QCOMPARE(outcome.kind, Intake::Outcome::Failed);
        QCOMPARE(outcome.fileName, QStringLiteral("x.txt"));
        QVERIFY(outcome.error.detail.contains(QStringLiteral("refused")));
        QVERIFY2(storeEntries(temp.reg()).isEmpty(),
                 qPrintable(storeEntries(temp.reg()).join(QLatin1Char(','))));
        QVERIFY(rows(temp.reg()).isEmpty());
    }

    void refusedRecordInABatchLosesOnlyItsOwnCopy_data()
    {
        QTest::addColumn<QString>("raise");
        QTest::addColumn<QString>("reported");
        QTest::newRow("aborted") << QStringLiteral("ABORT, 'refused'") << QStringLiteral("refused");
        // A skipped insert must not pass for the record inserted before it.
        QTest::newRow("skipped") << QStringLiteral("IGNORE") << notAppliedText;
    }

    // Records of a batch are committed in groups: one refused record loses
    // only its own copy, and a batch longer than a group keeps its order.
    void refusedRecordInABatchLosesOnlyItsOwnCopy()
    {
        QFETCH(QString, raise);
        QFETCH(QString, reported);
        TempRegister temp;
        QVERIFY(failInsertOf(temp.reg(), QStringLiteral("refused.txt"), raise));
        QList<Intake::File> files;
        QStringList expectedCopies;
        for (int i = 0; i < 150; ++i) {
            const QString name = i == 70
                                     ? QStringLiteral("refused.txt")
                                     : QStringLiteral("f%1.txt").arg(i, 3, 10, QLatin1Char('0'));
            files << Intake::File::fromPath(source(name, QByteArray::number(i)));
            if (i != 70)
                expectedCopies << name;
        }
        const QList<Intake::Outcome> outcomes = Intake::runBatch(temp.reg(), files, someDetails());
        QCOMPARE(outcomes.size(), files.size());
        qint64 serial = 0;
        for (int i = 0; i < outcomes.size(); ++i) {
            QCOMPARE(outcomes[i].fileName, files[i].fileName);
            if (i == 70) {
                QCOMPARE(outcomes[i].kind, Intake::Outcome::Failed);
                QVERIFY(outcomes[i].error.fullText().contains(reported));
                continue;
            }
            QCOMPARE(outcomes[i].kind, Intake::Outcome::Registered);
            QCOMPARE(outcomes[i].serial, ++serial);
            QCOMPARE(TestFiles::read(temp.reg().storedCopyPath(outcomes[i].storedName)),
                     QByteArray::number(i));
        }
        QCOMPARE(rows(temp.reg()).size(), 149);
        QCOMPARE(temp.reg().records()->digests()->size(), 149);
        expectedCopies.sort();
        QStringList entries = storeEntries(temp.reg());
        entries.sort();
        QCOMPARE(entries, expectedCopies);
    }

    // An error that makes SQLite end the whole transaction of a group: the
    // group is recorded again file by file, so only the failing file is lost,
    // and no record is left without its copy or copy without its record.
    void transactionEndedMidGroupLosesOnlyTheFailingFile()
    {
        TempRegister temp;
        QVERIFY(failInsertOf(temp.reg(), QStringLiteral("ends.txt"),
                             QStringLiteral("ROLLBACK, 'transaction ended'")));
        QList<Intake::File> files;
        for (const QString& name :
             {QStringLiteral("a.txt"), QStringLiteral("b.txt"), QStringLiteral("ends.txt"),
              QStringLiteral("c.txt"), QStringLiteral("d.txt")})
            files << Intake::File::fromPath(source(name, name.toUtf8()));
        const QList<Intake::Outcome> outcomes = Intake::runBatch(temp.reg(), files, someDetails());
        QCOMPARE(outcomes.size(), files.size());
        qint64 serial = 0;
        for (const Intake::Outcome& outcome : outcomes) {
            if (outcome.fileName == QStringLiteral("ends.txt")) {
                QCOMPARE(outcome.kind, Intake::Outcome::Failed);
                QVERIFY(outcome.error.detail.contains(QStringLiteral("transaction ended")));
                continue;
            }
            QCOMPARE(outcome.kind, Intake::Outcome::Registered);
            QCOMPARE(outcome.serial, ++serial);
            QCOMPARE(TestFiles::read(temp.reg().storedCopyPath(outcome.storedName)),
                     outcome.fileName.toUtf8());
        }
        QCOMPARE(rows(temp.reg()).size(), 4);
        QCOMPARE(storeEntries(temp.reg()),
                 (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt"),
                              QStringLiteral("c.txt"), QStringLiteral("d.txt")}));
    }

    void contentHashIsRecordedAndDuplicatesAreNamed()
    {
        TempRegister temp;
        const Intake::Outcome first = Intake::DdtaUp(
            temp.reg(), Intake::File::fromPath(source(QStringLiteral("a.txt"), "same bytes")),
            someDetails());
        QVERIFY(first.sameContent.isEmpty());
        QVERIFY(Intake::sameContentNote(first).isEmpty());
        const Intake::Outcome second = Intake::DdtaUp(
            temp.reg(), Intake::File::fromPath(source(QStringLiteral("b.txt"), "same bytes")),
            someDetails());
        QCOMPARE(second.kind, Intake::Outcome::Registered);
        QCOMPARE(second.sameContent.size(), 1);
        QCOMPARE(second.sameContent[0].fileName, QStringLiteral("a.txt"));
        QCOMPARE(Intake::sameContentNote(second),
                 QStringLiteral("“b.txt”的内容与已登记的记录 1“a.txt”相同，已照常登记。"));
        const Intake::Outcome other = Intake::DdtaUp(
            temp.reg(), Intake::File::fromPath(source(QStringLiteral("c.txt"), "other bytes")),
            someDetails());
        QVERIFY(other.sameContent.isEmpty());
        // Ten earlier records are named; with more the note says so.
        QList<Intake::File> copies;
        for (int i = 0; i < 10; ++i)
            copies << Intake::File::fromPath(
                source(QStringLiteral("copy%1.txt").arg(i), "same bytes"));
        const QList<Intake::Outcome> many = Intake::runBatch(temp.reg(), copies, someDetails());
        QCOMPARE(many[8].sameContent.size(), 10);
        QVERIFY(!many[8].moreSameContent);
        QCOMPARE(many[9].sameContent.size(), 10);
        QVERIFY(many[9].moreSameContent);
        QVERIFY(Intake::sameContentNote(many[9]).endsWith(QStringLiteral("等相同，已照常登记。")));

        // The digest recorded while copying is the digest of the stored copy.
        const qint64 rowid =
            Sql::scalar(temp.reg().database(),
                        QStringLiteral("SELECT rowid FROM 文件管理 WHERE 文件序号 = 2"))
                ->toLongLong();
        Result<std::optional<ContentHash::Digest>> recorded =
            ContentHash::recorded(temp.reg().database(), rowid);
        QVERIFY(recorded && recorded.value());
        Result<ContentHash::Digest> actual =
            ContentHash::ofFile(temp.reg().storedCopyPath(second.storedName));
        QCOMPARE(recorded.value()->hash, actual->hash);
        QCOMPARE(recorded.value()->size, qint64(10));
    }

    void namesOfWorkingFilesAreNeverStoredNames()
    {
        TempRegister temp;
        const QString name = StoreFiles::partName();
        const Intake::Outcome outcome = Intake::DdtaUp(
            temp.reg(), Intake::File::fromPath(source(name, "user data")), someDetails());
        QCOMPARE(outcome.kind, Intake::Outcome::Registered);
        QVERIFY(!StoreFiles::isReserved(outcome.storedName));
        QCOMPARE(rows(temp.reg()).at(0).fileName, name);
    }

    void textSerialsOfADamagedRegisterDoNotBreakNumbering()
    {
        TempRegister temp;
        temp.addRecord(7, QStringLiteral("seven"));
        QVERIFY(Sql::run(temp.reg().database(),
                         QStringLiteral("INSERT INTO 文件管理 (文件序号, 文件名, 路径) "
                                        "VALUES ('abc', 'x', 'x')")));
        const Intake::Outcome outcome =
            Intake::DdtaUp(temp.reg(), Intake::File::fromPath(source(QStringLiteral("n.txt"), "n")),
                           someDetails());
        QCOMPARE(outcome.serial, 8);
    }

    void cancelStopsBeforeTheNextFile()
    {
        TempRegister temp;
        std::atomic_bool cancel = false;
        const QList<Intake::File> files = {
            Intake::File::fromPath(source(QStringLiteral("a.txt"), "a")),
            Intake::File::fromPath(source(QStringLiteral("b.txt"), "b"))};
        const QList<Intake::Outcome> outcomes = Intake::runBatch(
            temp.reg(), files, someDetails(),
            [&](int, const QString&, qint64 done, qint64 total) {
                if (done == total)
                    cancel = true;
            },
            &cancel);
        QCOMPARE(outcomes[0].kind, Intake::Outcome::Registered);
        QCOMPARE(outcomes[1].kind, Intake::Outcome::Cancelled);
        QCOMPARE(storeEntries(temp.reg()), QStringList{QStringLiteral("a.txt")});
    }

    void storedNameFitting()
    {
        // The suffix is kept and the base shortened by whole characters.
        const QString fitted =
            StoredName::fit(QString(200, QChar(0x62A5)), QStringLiteral(".abcdefghij.doc"));
        QVERIFY(fitted.endsWith(QStringLiteral(".abcdefghij.doc")));
        QVERIFY(fitted.toUtf8().size() <= 255);
        QCOMPARE(fitted.toUtf8().size(), 255 - (255 - 15) % 3);
        // A surrogate pair is never split.
        const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
        const QString cutText = StoredName::cut(QString(49, QLatin1Char('a')) + emoji, 50);
        QCOMPARE(cutText, QString(49, QLatin1Char('a')));
    }
};

QTEST_GUILESS_MAIN(TestIntake)
#include "test_intake.moc"
