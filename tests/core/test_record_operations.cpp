#include "integrity/IntegrityCheck.h"
#include "modify/RecordModify.h"
#include "operations/RecordDelete.h"
#include "operations/RecordExport.h"
#include "operations/RecordReorder.h"
#include "store/RecordStore.h"
#include "store/RecycleBin.h"
#include "store/RegisterNames.h"
#include "store/SeenRecord.h"
#include "store/sql/Sql.h"
#include "store/view/ViewConditions.h"
#include "support/TempRegister.h"
#include "support/TestFiles.h"
#include "trash/Trash.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(content), content.size());
}

qint64 recordCount(const Register& reg)
{
    return Sql::scalar(reg.database(), QStringLiteral("SELECT count(*) FROM %1")
                                           .arg(Sql::identifier(RegisterNames::recordTable)))
        .value()
        .toLongLong();
}

QString columnOf(const Register& reg, qint64 rowid, const QString& column)
{
    return Sql::scalar(
               reg.database(),
               QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?")
                   .arg(Sql::identifier(column), Sql::identifier(RegisterNames::recordTable)),
               {rowid})
        .value()
        .toString();
}

QString binPath(const Register& reg, const QString& name)
{
    return reg.storeFolder() + QLatin1Char('/') + RecycleBin::folderName + QLatin1Char('/') + name;
}

QList<RecycleBin::Entry> binEntries(const Register& reg)
{
    return reg.records()->binEntries().value();
}

} // namespace

class TestRecordOperations : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void desktopNames_data();
    void desktopNames();
    void desktopNamesRunOut();
    void copyReplacesLongerFileExactly();
    void failedOverwriteKeepsTarget();
    void hostileStoredNamesStayInStore_data();
    void hostileStoredNamesStayInStore();
    void storeEntriesThatAreNotFilesAreNeverFollowed_data();
    void storeEntriesThatAreNotFilesAreNeverFollowed();
    void exportRefusesUnsafeTargets_data();
    void exportRefusesUnsafeTargets();
    void sendToDesktopNumbersDuplicates();
    void deleteTakesRecordAndCopy();
    void deleteWithMissingCopy();
    void deleteKeepsCopyAnotherRecordNames();
    void deleteRefusesFileHeldOpen();
    void restoreGivesBackRecordAndBytes_data();
    void restoreGivesBackRecordAndBytes();
    void purgeRemovesRecordAndCopy();
    void moveUpAndDownRestoresSerials();
    void moveInFilteredViewTouchesOnlyTwo();
    void modifyBatchChangesExactlyThose();
    void modifyCutsLongValues();
    void changedOrObstructedRecordIsLeftAlone_data();
    void changedOrObstructedRecordIsLeftAlone();
};

void TestRecordOperations::desktopNames_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("free") << QStringList{} << "report.doc"
                          << "report.doc";
    QTest::newRow("second") << QStringList{QStringLiteral("report.doc")} << "report.doc"
                            << "report(1).doc";
    QTest::newRow("third") << QStringList{QStringLiteral("report.doc"),
                                          QStringLiteral("report(1).doc")}
                           << "report.doc"
                           << "report(2).doc";
    QTest::newRow("last dot") << QStringList{QStringLiteral("archive.tar.gz")} << "archive.tar.gz"
                              << "archive.tar(1).gz";
    QTest::newRow("no dot") << QStringList{QStringLiteral("README")} << "README"
                            << "README(1).";
    // A hidden file or a folder of that name is never overwritten.
    QTest::newRow("hidden") << QStringList{QStringLiteral(".profile")} << ".profile"
                            << "(1).profile";
    QTest::newRow("folder") << QStringList{QStringLiteral("notes/")} << "notes"
                            << "notes(1).";
}

void TestRecordOperations::desktopNames()
{
    QFETCH(QStringList, existing);
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QTemporaryDir desktop;
    for (const QString& entry : existing) {
        if (entry.endsWith(QLatin1Char('/')))
            QVERIFY(QDir(desktop.path()).mkdir(entry.chopped(1)));
        else
            writeFile(desktop.filePath(entry), "x");
    }
    QCOMPARE(RecordExport::USERPROFILEFileName(desktop.path(), name), desktop.filePath(expected));
}

void TestRecordOperations::desktopNamesRunOut()
{
    QTemporaryDir desktop;
    writeFile(desktop.filePath(QStringLiteral("a")), "x");
    for (int n = 1; n <= 10000; ++n)
        writeFile(desktop.filePath(QStringLiteral("a(%1).").arg(n)), "");
    QVERIFY(RecordExport::USERPROFILEFileName(desktop.path(), QStringLiteral("a")).isEmpty());
    QFile::remove(desktop.filePath(QStringLiteral("a(9999).")));
    QCOMPARE(RecordExport::USERPROFILEFileName(desktop.path(), QStringLiteral("a")),
             desktop.filePath(QStringLiteral("a(9999).")));
}

void TestRecordOperations::copyReplacesLongerFileExactly()
{
    TempRegister temp;
    QByteArray content(700 * 1024, '\0');
    for (int i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 7);
    temp.addRecord(1, QStringLiteral("报告.doc"), {}, {}, QStringLiteral("2020-01-02"), {}, {},
                   content);
    QTemporaryDir out;
    const QString target = out.filePath(QStringLiteral("old.doc"));
    writeFile(target, QByteArray(2 * content.size(), 'z'));
    QVERIFY(RecordExport::exportTo(temp.reg(), QStringLiteral("报告.doc"), target).ok());
    QCOMPARE(TestFiles::read(target), content);
    // Nothing is left beside the target.
    QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

void TestRecordOperations::failedOverwriteKeepsTarget()
{
    TempRegister temp;
    const QByteArray content(64 * 1024, 'n');
    temp.addRecord(1, QStringLiteral("big.bin"), {}, {}, QStringLiteral("2020-01-02"), {}, {},
                   content);
    QTemporaryDir out;
    const QString target = out.filePath(QStringLiteral("mine.bin"));
    writeFile(target, "the user's own file");

    // A file size limit makes the copy fail partway, as a full disk would.
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit saved;
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit limited = saved;
    limited.rlim_cur = 8 * 1024;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const Status copied = RecordExport::exportTo(temp.reg(), QStringLiteral("big.bin"), target);
    ::setrlimit(RLIMIT_FSIZE, &saved);

    QVERIFY(!copied.ok());
    QVERIFY(!copied.error().message.isEmpty());
    QCOMPARE(TestFiles::read(target), QByteArray("the user's own file"));
    QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

void TestRecordOperations::hostileStoredNamesStayInStore_data()
{
    QTest::addColumn<QString>("storedName");
    QTest::newRow("parent") << "../outside.txt";
    QTest::newRow("absolute") << "/etc/passwd";
    QTest::newRow("subfolder") << "a/b";
}

void TestRecordOperations::hostileStoredNamesStayInStore()
{
    QFETCH(QString, storedName);
    TempRegister temp;
    // A file the hostile name could reach from the store folder.
    const QString outside = QDir(temp.folder()).filePath(QStringLiteral("outside.txt"));
    writeFile(outside, "outside");
    QVERIFY(QDir(temp.reg().storeFolder()).mkdir(QStringLiteral("a")));
    writeFile(temp.reg().storeFolder() + QStringLiteral("/a/b"), "nested");
    const qint64 rowid = temp.addRecord(1, QStringLiteral("x.txt"));
    QVERIFY(Sql::run(temp.reg().database(),
                     QStringLiteral("UPDATE %1 SET %2 = ?")
                         .arg(Sql::identifier(RegisterNames::recordTable),
                              Sql::identifier(RegisterNames::storedName)),
                     {storedName})
                .ok());

    QTemporaryDir out;
    const QString target = out.filePath(QStringLiteral("copy"));
    const Status exported = RecordExport::exportTo(temp.reg(), storedName, target);
    QVERIFY(!exported.ok());
    QCOMPARE(exported.error().message, RecordExport::notFoundText);
    QVERIFY(!QFile::exists(target));
    QVERIFY(
        !RecordExport::sendToDesktop(temp.reg(), storedName, QStringLiteral("x.txt"), out.path())
             .ok());

    // The record goes; no file is touched, inside or outside the store.
    QVERIFY(RecordDelete::deleteRecord(temp.reg(), temp.seen(rowid)).ok());
    QCOMPARE(recordCount(temp.reg()), 0);
    QCOMPARE(TestFiles::read(outside), QByteArray("outside"));
    QCOMPARE(TestFiles::read(temp.reg().storeFolder() + QStringLiteral("/a/b")),
             QByteArray("nested"));
    QVERIFY(QFile::exists(QStringLiteral("/etc/passwd")));
}

void TestRecordOperations::storeEntriesThatAreNotFilesAreNeverFollowed_data()
{
    QTest::addColumn<QString>("plant");
    QTest::newRow("link to a file outside") << "link";
    QTest::newRow("folder") << "folder";
    QTest::newRow("fifo") << "fifo";
    QTest::newRow("store folder is a link") << "linked store";
}

void TestRecordOperations::storeEntriesThatAreNotFilesAreNeverFollowed()
{
    QFETCH(QString, plant);
    TempRegister temp;
    const QString store = temp.reg().storeFolder();
    const qint64 rowid = temp.addRecord(1, QStringLiteral("x.txt"));
    QTemporaryDir elsewhere;
    const QString outside = elsewhere.filePath(QStringLiteral("x.txt"));
    writeFile(outside, "outside");
    const QString copy = store + QStringLiteral("/x.txt");
    if (plant == QLatin1String("link")) {
        QVERIFY(QFile::link(outside, copy));
    } else if (plant == QLatin1String("folder")) {
        QVERIFY(QDir(store).mkdir(QStringLiteral("x.txt")));
    } else if (plant == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(copy).constData(), 0600), 0);
    } else {
        QVERIFY(QDir(store).removeRecursively());
        QVERIFY(QFile::link(elsewhere.path(), store));
    }

    QTemporaryDir out;
    const QString target = out.filePath(QStringLiteral("copy"));
    QVERIFY(!RecordExport::existingStoredCopy(temp.reg(), QStringLiteral("x.txt")).ok());
    const Status exported = RecordExport::exportTo(temp.reg(), QStringLiteral("x.txt"), target);
    QVERIFY(!exported.ok());
    QCOMPARE(exported.error().message, RecordExport::notFoundText);
    QVERIFY(!RecordExport::sendToDesktop(temp.reg(), QStringLiteral("x.txt"),
                                         QStringLiteral("x.txt"), out.path())
                 .ok());
    QVERIFY(QDir(out.path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                .isEmpty());

    // Not a file to remove: the delete is refused and tells why.
    const Status deleted = RecordDelete::deleteRecord(temp.reg(), temp.seen(rowid));
    QVERIFY(!deleted);
    QVERIFY(!deleted.error().message.isEmpty());
    QCOMPARE(recordCount(temp.reg()), 1);
    QCOMPARE(TestFiles::read(outside), QByteArray("outside"));
    QVERIFY(QFileInfo(copy).exists() || QFileInfo(copy).isSymLink());
    QCOMPARE(QDir(store).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                   QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("x.txt")});
}

void TestRecordOperations::exportRefusesUnsafeTargets_data()
{
    QTest::addColumn<QString>("target"); // %R: the register folder, %O: a folder outside
    QTest::newRow("the database") << "%R/文件管理.mdb";
    QTest::newRow("another record's copy") << "%R/随机文件/b.txt";
    QTest::newRow("new file in the register folder") << "%R/new.txt";
    QTest::newRow("link to the database") << "%O/db-link";
    QTest::newRow("name not UTF-8") << "%O/bad\uFFFD.txt";
}

void TestRecordOperations::exportRefusesUnsafeTargets()
{
    QFETCH(QString, target);
    TempRegister temp;
    temp.addRecord(1, QStringLiteral("a.txt"), {}, {}, QStringLiteral("2020-01-02"), {}, {}, "a");
    temp.addRecord(2, QStringLiteral("b.txt"), {}, {}, QStringLiteral("2020-01-02"), {}, {}, "b");
    QTemporaryDir outside;
    QVERIFY(QFile::link(temp.reg().databasePath(), outside.filePath(QStringLiteral("db-link"))));
    target.replace(QStringLiteral("%R"), temp.folder())
        .replace(QStringLiteral("%O"), outside.path());
    const QByteArray database = TestFiles::read(temp.reg().databasePath());

    const Status exported = RecordExport::exportTo(temp.reg(), QStringLiteral("a.txt"), target);
    QVERIFY(!exported.ok());
    QVERIFY(!exported.error().message.isEmpty());
    QCOMPARE(TestFiles::read(temp.reg().databasePath()), database);
    QCOMPARE(TestFiles::read(temp.reg().storedCopyPath(QStringLiteral("b.txt"))), QByteArray("b"));
    QVERIFY(!QFile::exists(temp.folder() + QStringLiteral("/new.txt")));
    QCOMPARE(QDir(outside.path())
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("db-link")});
}

void TestRecordOperations::sendToDesktopNumbersDuplicates()
{
    TempRegister temp;
    temp.addRecord(1, QStringLiteral("report.doc"), {}, {}, QStringLiteral("2020-01-02"), {}, {},
                   "first");
    QTemporaryDir desktop;
    Result<QString> one = RecordExport::sendToDesktop(temp.reg(), QStringLiteral("report.doc"),
                                                      QStringLiteral("report.doc"), desktop.path());
    Result<QString> two = RecordExport::sendToDesktop(temp.reg(), QStringLiteral("report.doc"),
                                                      QStringLiteral("report.doc"), desktop.path());
    QVERIFY(one.ok() && two.ok());
    QCOMPARE(one.value(), desktop.filePath(QStringLiteral("report.doc")));
    QCOMPARE(two.value(), desktop.filePath(QStringLiteral("report(1).doc")));
    QCOMPARE(TestFiles::read(two.value()), QByteArray("first"));
    // The copy keeps the stored copy's modification time, as cp -p does.
    const QDateTime stamp(QDate(2001, 2, 3), QTime(4, 5, 6, 789));
    QFile stored(temp.reg().storedCopyPath(QStringLiteral("report.doc")));
    QVERIFY(stored.open(QIODevice::ReadWrite) &&
            stored.setFileTime(stamp, QFileDevice::FileModificationTime));
    stored.close();
    Result<QString> dated = RecordExport::sendToDesktop(
        temp.reg(), QStringLiteral("report.doc"), QStringLiteral("report.doc"), desktop.path());
    QVERIFY(dated.ok());
    QCOMPARE(QFileInfo(dated.value()).lastModified(), stamp);
    // A registered name with a folder part still lands on the desktop itself.
    Result<QString> odd = RecordExport::sendToDesktop(temp.reg(), QStringLiteral("report.doc"),
                                                      QStringLiteral("../up.doc"), desktop.path());
    QVERIFY(odd.ok());
    QCOMPARE(QFileInfo(odd.value()).absolutePath(), QFileInfo(desktop.path()).absoluteFilePath());

    const Result<QString> nowhere = RecordExport::sendToDesktop(
        temp.reg(), QStringLiteral("report.doc"), QStringLiteral("report.doc"),
        desktop.filePath(QStringLiteral("missing")));
    QVERIFY(!nowhere.ok());
}

void TestRecordOperations::deleteTakesRecordAndCopy()
{
    TempRegister temp;
    const qint64 first = temp.addRecord(1, QStringLiteral("a.txt"), {}, {},
                                        QStringLiteral("2020-01-02"), {}, {}, "a");
    temp.addRecord(2, QStringLiteral("b.txt"), {}, {}, QStringLiteral("2020-01-02"), {}, {}, "b");
    const SeenRecord seen = temp.seen(first);
    QVERIFY(RecordDelete::deleteRecord(temp.reg(), seen).ok());
    QCOMPARE(temp.serials(), QList<qint64>{2});
    // Only the other record's copy is left, and nothing set aside.
    QCOMPARE(QDir(temp.reg().storeFolder()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("b.txt")});
    // It is in the bin, with its copy.
    QCOMPARE(binEntries(temp.reg()).size(), 1);
    QCOMPARE(binEntries(temp.reg()).first().record.rowid, first);
    QCOMPARE(TestFiles::read(binPath(temp.reg(), QStringLiteral("a.txt"))), QByteArray("a"));
    // A second delete of the same record is refused, not reported as done.
    QVERIFY(!RecordDelete::deleteRecord(temp.reg(), seen).ok());
}

void TestRecordOperations::deleteWithMissingCopy()
{
    TempRegister temp;
    const qint64 rowid = temp.addRecord(1, QStringLiteral("gone.txt"));
    QVERIFY(RecordDelete::deleteRecord(temp.reg(), temp.seen(rowid)).ok());
    QCOMPARE(recordCount(temp.reg()), 0);
}

void TestRecordOperations::deleteKeepsCopyAnotherRecordNames()
{
    TempRegister temp;
    const qint64 first = temp.addRecord(1, QStringLiteral("same.txt"), {}, {},
                                        QStringLiteral("2020-01-02"), {}, {}, "shared");
    const qint64 second = temp.addRecord(2, QStringLiteral("same.txt"));
    const QString copy = temp.reg().storedCopyPath(QStringLiteral("same.txt"));
    QVERIFY(RecordDelete::deleteRecord(temp.reg(), temp.seen(first)).ok());
    QCOMPARE(TestFiles::read(copy), QByteArray("shared"));
    // The last record naming it takes it along.
    QVERIFY(RecordDelete::deleteRecord(temp.reg(), temp.seen(second)).ok());
    QVERIFY(QDir(temp.reg().storeFolder()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    // Each record in the bin has the copy under a name of its own.
    const QList<RecycleBin::Entry> entries = binEntries(temp.reg());
    QCOMPARE(entries.size(), 2);
    QVERIFY(entries.at(0).binName != entries.at(1).binName);
    for (const RecycleBin::Entry& entry : entries)
        QCOMPARE(TestFiles::read(binPath(temp.reg(), entry.binName)), QByteArray("shared"));
}

void TestRecordOperations::restoreGivesBackRecordAndBytes_data()
{
    QTest::addColumn<bool>("serialTaken");
    QTest::addColumn<bool>("nameTaken");
    QTest::newRow("both free") << false << false;
    QTest::newRow("serial taken meanwhile") << true << false;
    QTest::newRow("stored name taken meanwhile") << false << true;
    QTest::newRow("both taken") << true << true;
}

void TestRecordOperations::restoreGivesBackRecordAndBytes()
{
    QFETCH(bool, serialTaken);
    QFETCH(bool, nameTaken);
    TempRegister temp;
    const Register& reg = temp.reg();
    const qint64 rowid = temp.addRecord(
        5, QStringLiteral("报告.doc"), QStringLiteral("张三"), QStringLiteral("合同"),
        QStringLiteral("2021-03-04"), QStringLiteral("备注"), QStringLiteral("邮件"), "the bytes");
    QVERIFY(RecordDelete::deleteRecord(reg, temp.seen(rowid)).ok());
    QCOMPARE(recordCount(reg), 0);
    // Another record takes the serial, or the stored name, or both meanwhile.
    if (serialTaken || nameTaken)
        temp.addRecord(serialTaken ? 5 : 7,
                       nameTaken ? QStringLiteral("报告.doc") : QStringLiteral("other.doc"), {}, {},
                       QStringLiteral("2020-01-02"), {}, {}, "newcomer");

    const Result<Trash::Restored> restored = Trash::restore(reg, rowid);
    QVERIFY2(restored, qPrintable(restored ? QString() : restored.error().fullText()));
    QCOMPARE(restored->serialChanged(), serialTaken);
    QCOMPARE(restored->storedNameChanged(), nameTaken);
    // The same record, under its identity, with every column it had.
    QCOMPARE(columnOf(reg, rowid, RegisterNames::serial),
             serialTaken ? QStringLiteral("6") : QStringLiteral("5"));
    QCOMPARE(columnOf(reg, rowid, RegisterNames::fileName), QStringLiteral("报告.doc"));
    QCOMPARE(columnOf(reg, rowid, RegisterNames::date), QStringLiteral("2021-03-04"));
    QCOMPARE(columnOf(reg, rowid, RegisterNames::remark), QStringLiteral("备注"));
    QCOMPARE(columnOf(reg, rowid, RegisterNames::recipient), QStringLiteral("张三"));
    QCOMPARE(columnOf(reg, rowid, RegisterNames::method), QStringLiteral("邮件"));
    QCOMPARE(columnOf(reg, rowid, RegisterNames::folder), QStringLiteral("合同"));
    QCOMPARE(columnOf(reg, rowid, RegisterNames::storedName), restored->storedName);
    QCOMPARE(TestFiles::read(reg.storedCopyPath(restored->storedName)), QByteArray("the bytes"));
    if (nameTaken)
        QCOMPARE(TestFiles::read(reg.storedCopyPath(QStringLiteral("报告.doc"))),
                 QByteArray("newcomer"));
    // Gone from the bin, and the register is sound.
    QVERIFY(binEntries(reg).isEmpty());
    QVERIFY(QDir(binPath(reg, QString()))
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                .isEmpty());
    const Result<Integrity::Report> report = Integrity::check(reg);
    QVERIFY(report);
    QVERIFY2(report->findings.isEmpty(), qPrintable(report->findings.value(0).text()));
    // A second restore of the same entry is refused.
    QVERIFY(!Trash::restore(reg, rowid));
}

void TestRecordOperations::purgeRemovesRecordAndCopy()
{
    TempRegister temp;
    const Register& reg = temp.reg();
    const qint64 first = temp.addRecord(1, QStringLiteral("a.txt"), {}, {},
                                        QStringLiteral("2020-01-02"), {}, {}, "a");
    const qint64 second = temp.addRecord(2, QStringLiteral("b.txt"), {}, {},
                                         QStringLiteral("2020-01-02"), {}, {}, "b");
    for (const qint64 rowid : {first, second})
        QVERIFY(RecordDelete::deleteRecord(reg, temp.seen(rowid)).ok());
    QVERIFY(Trash::purge(reg, first));
    const QList<RecycleBin::Entry> left = binEntries(reg);
    QCOMPARE(left.size(), 1);
    QCOMPARE(left.first().record.rowid, second);
    QCOMPARE(QDir(binPath(reg, QString())).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("b.txt")});
    // Gone for good: it can be neither purged nor restored again.
    QVERIFY(!Trash::purge(reg, first));
    QVERIFY(!Trash::restore(reg, first));
    QCOMPARE(recordCount(reg), 0);

    // A bin folder that is a link: refused, entry and copy both kept.
    QTemporaryDir elsewhere;
    const QString moved = elsewhere.filePath(QStringLiteral("bin"));
    const QString binFolder = reg.storeFolder() + QLatin1Char('/') + RecycleBin::folderName;
    QVERIFY(QDir().rename(binFolder, moved));
    QVERIFY(QFile::link(moved, binFolder));
    const Status refused = Trash::purge(reg, second);
    QVERIFY(!refused);
    QVERIFY(refused.error().message.contains(QStringLiteral("链接")));
    QCOMPARE(binEntries(reg).size(), 1);
    QCOMPARE(TestFiles::read(moved + QStringLiteral("/b.txt")), QByteArray("b"));
}

void TestRecordOperations::deleteRefusesFileHeldOpen()
{
    TempRegister temp;
    const qint64 rowid = temp.addRecord(1, QStringLiteral("open.txt"), {}, {},
                                        QStringLiteral("2020-01-02"), {}, {}, "busy");
    const QString path = temp.reg().storedCopyPath(QStringLiteral("open.txt"));
    QProcess holder;
    holder.start(QStringLiteral("/bin/sh"),
                 {QStringLiteral("-c"), QStringLiteral("exec 3<\"$1\"; echo ready; sleep 30"),
                  QStringLiteral("sh"), path});
    QVERIFY(holder.waitForReadyRead(5000));

    const Status report = RecordDelete::deleteRecord(temp.reg(), temp.seen(rowid));
    holder.kill();
    holder.waitForFinished();
    QCOMPARE(report.error().code, ErrorCode::Busy);
    QCOMPARE(report.error().message, QStringLiteral("文件处于打开状态，不能删除！"));
    QCOMPARE(recordCount(temp.reg()), 1);
    QCOMPARE(TestFiles::read(path), QByteArray("busy"));
}

void TestRecordOperations::moveUpAndDownRestoresSerials()
{
    TempRegister temp;
    for (qint64 serial : {10, 20, 30, 40, 50})
        temp.addRecord(serial, QStringLiteral("f%1").arg(serial));
    std::shared_ptr<ViewRst> view = ViewRst::open(temp.reg(), {}).value();
    const qint64 fifth = view->keyAt(5);
    const qint64 fourth = view->keyAt(4);

    QVERIFY(RecordReorder::moveUp(*view, 5).ok());
    QCOMPARE(view->keyAt(4), fifth);
    QCOMPARE(view->keyAt(5), fourth);
    QCOMPARE(columnOf(temp.reg(), fifth, RegisterNames::serial), QStringLiteral("40"));
    QCOMPARE(columnOf(temp.reg(), fourth, RegisterNames::serial), QStringLiteral("50"));
    // The view in memory agrees with a fresh one.
    QCOMPARE(ViewRst::loadKeys(temp.reg(), {}).value()[3], fifth);

    QVERIFY(RecordReorder::moveDown(*view, 4).ok());
    QCOMPARE(view->keyAt(5), fifth);
    QCOMPARE(temp.serials(), (QList<qint64>{10, 20, 30, 40, 50}));
    QCOMPARE(columnOf(temp.reg(), fifth, RegisterNames::serial), QStringLiteral("50"));

    // The ends do nothing.
    QVERIFY(RecordReorder::moveUp(*view, 1).ok());
    QVERIFY(RecordReorder::moveDown(*view, 5).ok());
    QCOMPARE(view->keyAt(5), fifth);
    QCOMPARE(columnOf(temp.reg(), view->keyAt(1), RegisterNames::serial), QStringLiteral("10"));
}

void TestRecordOperations::moveInFilteredViewTouchesOnlyTwo()
{
    TempRegister temp;
    const qint64 a = temp.addRecord(1, QStringLiteral("a"), {}, QStringLiteral("甲"));
    const qint64 b = temp.addRecord(2, QStringLiteral("b"), {}, QStringLiteral("乙"));
    const qint64 c = temp.addRecord(3, QStringLiteral("c"), {}, QStringLiteral("乙"));
    const qint64 d = temp.addRecord(4, QStringLiteral("d"), {}, QStringLiteral("甲"));
    const ViewCondition folder = ViewConditions::folderIs(QStringLiteral("甲"));
    std::shared_ptr<ViewRst> view = ViewRst::open(temp.reg(), folder).value();
    QCOMPARE(view->recordCount(), 2);
    QVERIFY(RecordReorder::moveUp(*view, 2).ok());
    QCOMPARE(columnOf(temp.reg(), a, RegisterNames::serial), QStringLiteral("4"));
    QCOMPARE(columnOf(temp.reg(), d, RegisterNames::serial), QStringLiteral("1"));
    QCOMPARE(columnOf(temp.reg(), b, RegisterNames::serial), QStringLiteral("2"));
    QCOMPARE(columnOf(temp.reg(), c, RegisterNames::serial), QStringLiteral("3"));
}

void TestRecordOperations::modifyBatchChangesExactlyThose()
{
    TempRegister temp;
    QList<qint64> rowids;
    QList<SeenRecord> seen;
    for (int i = 1; i <= 8; ++i)
        rowids << temp.addRecord(i, QStringLiteral("f%1").arg(i), QStringLiteral("张三"),
                                 QStringLiteral("旧"), QStringLiteral("2020-01-02"),
                                 QStringLiteral("备%1").arg(i), QStringLiteral("Email"));
    for (qint64 rowid : rowids)
        seen << temp.seen(rowid);
    RecordModify::Changes changes;
    changes[RecordModify::Field::Recipient] = QStringLiteral("自己");
    QVERIFY(RecordModify::apply(temp.reg(), seen.mid(2, 4), changes).ok());
    for (int i = 0; i < 8; ++i) {
        const bool inBatch = i >= 2 && i <= 5;
        QCOMPARE(columnOf(temp.reg(), rowids[i], RegisterNames::recipient),
                 inBatch ? QStringLiteral("自己") : QStringLiteral("张三"));
        QCOMPARE(columnOf(temp.reg(), rowids[i], RegisterNames::remark),
                 QStringLiteral("备%1").arg(i + 1));
        QCOMPARE(columnOf(temp.reg(), rowids[i], RegisterNames::folder), QStringLiteral("旧"));
    }

    // A record that vanished stops the whole batch: all or none.
    changes[RecordModify::Field::Recipient] = QStringLiteral("李四");
    QVERIFY(
        !RecordModify::apply(temp.reg(), {seen[0], {9999, QStringLiteral("f1")}}, changes).ok());
    QCOMPARE(columnOf(temp.reg(), rowids[0], RegisterNames::recipient), QStringLiteral("张三"));
}

void TestRecordOperations::modifyCutsLongValues()
{
    TempRegister temp;
    const qint64 rowid = temp.addRecord(1, QStringLiteral("f"));
    RecordModify::Changes changes;
    changes[RecordModify::Field::Remark] = QString(200, QChar(u'备'));
    changes[RecordModify::Field::Recipient] = QString(60, QLatin1Char('r'));
    // 49 letters and a character outside the BMP: the pair is not split.
    changes[RecordModify::Field::Method] = QString(49, QLatin1Char('m')) + QStringLiteral("😀x");
    changes[RecordModify::Field::Folder] = QString(51, QLatin1Char('f'));
    QVERIFY(RecordModify::apply(temp.reg(), {temp.seen(rowid)}, changes).ok());
    QCOMPARE(columnOf(temp.reg(), rowid, RegisterNames::remark), QString(150, QChar(u'备')));
    QCOMPARE(columnOf(temp.reg(), rowid, RegisterNames::recipient), QString(50, QLatin1Char('r')));
    QCOMPARE(columnOf(temp.reg(), rowid, RegisterNames::method), QString(49, QLatin1Char('m')));
    QCOMPARE(columnOf(temp.reg(), rowid, RegisterNames::folder), QString(50, QLatin1Char('f')));
}

void TestRecordOperations::changedOrObstructedRecordIsLeftAlone_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("meanwhile");
    QTest::addColumn<QString>("message");
    // Another program's new record takes the stored name of the one it deleted.
    const QStringList replaced = {
        QStringLiteral("DELETE FROM 文件管理 WHERE 文件序号 = 2"),
        QStringLiteral(
            "INSERT INTO 文件管理 (文件序号, 文件名, 路径) VALUES (3, 'new.txt', 'b.txt')")};
    const QStringList renamed = {
        QStringLiteral("UPDATE 文件管理 SET 路径 = 'c.txt' WHERE 文件序号 = 2")};
    const QStringList skips = {
        QStringLiteral("CREATE TRIGGER 跳过删除 BEFORE DELETE ON 文件管理 BEGIN SELECT "
                       "RAISE(IGNORE); END"),
        QStringLiteral("CREATE TRIGGER 跳过修改 BEFORE UPDATE ON 文件管理 BEGIN SELECT "
                       "RAISE(IGNORE); END")};
    const QStringList undoes = {
        QStringLiteral("CREATE TRIGGER 放回 AFTER DELETE ON 文件管理 BEGIN INSERT INTO 文件管理 "
                       "(文件序号, 文件名, 路径) VALUES (old.文件序号, old.文件名, old.路径); END"),
        QStringLiteral(
            "CREATE TRIGGER 改回 AFTER UPDATE ON 文件管理 BEGIN UPDATE 文件管理 SET "
            "文件夹 = old.文件夹, 文件序号 = old.文件序号 WHERE rowid = old.rowid; END")};
    for (const char* action : {"delete", "modify", "move"}) {
        QTest::addRow("%s replaced", action) << action << replaced << changedText;
        QTest::addRow("%s renamed", action) << action << renamed << changedText;
        QTest::addRow("%s skipped by trigger", action) << action << skips << notAppliedText;
        QTest::addRow("%s undone by trigger", action) << action << undoes << notAppliedText;
    }
}

// A record seen before another program changed it, or a change a trigger of
// the register skips or undoes: refused with a message, nothing changed.
void TestRecordOperations::changedOrObstructedRecordIsLeftAlone()
{
    QFETCH(QString, action);
    QFETCH(QStringList, meanwhile);
    QFETCH(QString, message);
    TempRegister temp;
    const SeenRecord first = temp.seen(temp.addRecord(1, QStringLiteral("a.txt"), {}, {},
                                                      QStringLiteral("2020-01-02"), {}, {}, "a"));
    const SeenRecord second = temp.seen(temp.addRecord(2, QStringLiteral("b.txt"), {}, {},
                                                       QStringLiteral("2020-01-02"), {}, {}, "b"));
    QSqlQuery query(temp.reg().database());
    for (const QString& sql : meanwhile)
        QVERIFY2(query.exec(sql), qPrintable(sql));
    const auto state = [&] {
        QStringList lines;
        Result<QSqlQuery> all = Sql::run(
            temp.reg().database(),
            QStringLiteral("SELECT rowid, 文件序号, 路径, 文件夹 FROM 文件管理 ORDER BY rowid"));
        while (all && all->next())
            lines << QStringLiteral("%1 %2 %3 %4")
                         .arg(all->value(0).toString(), all->value(1).toString(),
                              all->value(2).toString(), all->value(3).toString());
        for (const QString& name :
             QDir(temp.reg().storeFolder()).entryList(QDir::Files | QDir::Hidden))
            lines << name + QLatin1Char('=') +
                         QString::fromUtf8(TestFiles::read(temp.reg().storedCopyPath(name)));
        return lines;
    };
    const QStringList before = state();

    Error error;
    if (action == QStringLiteral("delete")) {
        error = RecordDelete::deleteRecord(temp.reg(), second).error();
    } else if (action == QStringLiteral("modify")) {
        RecordModify::Changes changes;
        changes[RecordModify::Field::Folder] = QStringLiteral("新文件夹");
        error = RecordModify::apply(temp.reg(), {first, second}, changes).error();
    } else {
        error = RecordReorder::exchangeSerials(temp.reg(), second, first).error();
    }
    QCOMPARE(error.message, message);
    QCOMPARE(state(), before);
}

QTEST_GUILESS_MAIN(TestRecordOperations)
#include "test_record_operations.moc"
