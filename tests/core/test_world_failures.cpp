// When the world fails: a store folder that cannot be written, a read-only
// register database, a full disk, sources that vanish or change while being
// copied, a missing desktop. Each failure is reported with the file and the
// reason, nothing is reported done that was not, and the register stays whole.

#include "intake/Intake.h"
#include "integrity/IntegrityCheck.h"
#include "modify/RecordModify.h"
#include "operations/RecordDelete.h"
#include "operations/RecordExport.h"
#include "operations/RecordLookup.h"
#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "support/TempRegister.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Makes a file or folder unchangeable even for root (the immutable flag),
// or, for other users, read-only; undone on destruction.
class Unchangeable {
public:
    explicit Unchangeable(const QString& path) : m_path(QFile::encodeName(path))
    {
        if (::geteuid() != 0) {
            m_mode = QFile::permissions(path);
            m_done = QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
            m_viaPermissions = m_done;
            return;
        }
        m_done = setFlag(true);
    }
    ~Unchangeable()
    {
        if (!m_done)
            return;
        if (m_viaPermissions)
            QFile::setPermissions(QFile::decodeName(m_path), m_mode);
        else
            setFlag(false);
    }
    bool done() const { return m_done; }

private:
    bool setFlag(bool on)
    {
        const int fd = ::open(m_path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            return false;
        int flags = 0;
        bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (ok) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return ok;
    }

    QByteArray m_path;
    QFile::Permissions m_mode;
    bool m_done = false;
    bool m_viaPermissions = false;
};

QString writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

Intake::Details someDetails()
{
    Intake::Details details;
    details.date = QDate(2024, 3, 5);
    details.remark = QStringLiteral("备注");
    return details;
}

// The store holds exactly the copies the records name: no leftovers, no strays.
void verifyConsistent(const Register& reg, bool verify = true)
{
    Integrity::Options options;
    options.verify = verify;
    Result<Integrity::Report> report = Integrity::check(reg, options);
    QVERIFY(report);
    QVERIFY2(report->findings.isEmpty(), qPrintable(report->findings.value(0).text()));
}

int recordCount(const Register& reg)
{
    return Sql::scalar(reg.database(), QStringLiteral("SELECT COUNT(*) FROM %1")
                                           .arg(Sql::identifier(RegisterNames::recordTable)))
        ->toInt();
}

} // namespace

class TestWorldFailures : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void storeFolderNotWritable()
    {
        TempRegister temp;
        QTemporaryDir sources;
        const Intake::Outcome first = Intake::DdtaUp(
            temp.reg(),
            Intake::File::fromPath(writeFile(sources.filePath(QStringLiteral("a.txt")), "aaa")),
            someDetails());
        QCOMPARE(first.kind, Intake::Outcome::Registered);
        const QString source = writeFile(sources.filePath(QStringLiteral("b.txt")), "bbb");
        {
            Unchangeable locked(temp.reg().storeFolder());
            if (!locked.done())
                QSKIP("cannot make a folder unwritable here");
            const Intake::Outcome outcome =
                Intake::DdtaUp(temp.reg(), Intake::File::fromPath(source), someDetails());
            QCOMPARE(outcome.kind, Intake::Outcome::Failed);
            QCOMPARE(outcome.fileName, QStringLiteral("b.txt"));
            QVERIFY2(outcome.error.message.contains(QStringLiteral("存储文件夹")),
                     qPrintable(outcome.error.message));
            QVERIFY(outcome.error.detail.contains(temp.reg().storeFolder()));

            // Delete cannot make the bin for the copy, so the record stays as well.
            const Status deleted = RecordDelete::deleteRecord(
                temp.reg(),
                SeenRecord::of(
                    RecordLookup::recordForSerial(temp.reg(), QStringLiteral("1")).value()));
            QVERIFY(!deleted);
            QVERIFY2(deleted.error().message.contains(temp.reg().storeFolder()),
                     qPrintable(deleted.error().fullText()));
            QCOMPARE(recordCount(temp.reg()), 1);
        }
        verifyConsistent(temp.reg());
    }

    void databaseReadOnly()
    {
        TempRegister temp;
        QTemporaryDir sources;
        const qint64 rowid = temp.addRecord(1, QStringLiteral("a.txt"), QStringLiteral("李四"), {},
                                            QStringLiteral("2020-01-02"), {}, {}, "aaa");
        const QString source = writeFile(sources.filePath(QStringLiteral("b.txt")), "bbb");
        const SeenRecord seen = temp.seen(rowid);
        temp.reg().closeConnection();
        {
            Unchangeable locked(temp.reg().databasePath());
            if (!locked.done())
                QSKIP("cannot make a file read-only here");
            const Intake::Outcome outcome =
                Intake::DdtaUp(temp.reg(), Intake::File::fromPath(source), someDetails());
            QCOMPARE(outcome.kind, Intake::Outcome::Failed);
            QVERIFY2(outcome.error.message.contains(QStringLiteral("只读")),
                     qPrintable(outcome.error.fullText()));

            RecordModify::Changes changes;
            changes[RecordModify::Field::Recipient] = QStringLiteral("王五");
            const Status modified = RecordModify::apply(temp.reg(), {seen}, changes);
            QVERIFY(!modified);
            QVERIFY(modified.error().message.contains(QStringLiteral("只读")));

            const Status deleted = RecordDelete::deleteRecord(temp.reg(), seen);
            QVERIFY(!deleted);
            QVERIFY(deleted.error().message.contains(QStringLiteral("只读")));
            QVERIFY(QFile::exists(temp.reg().storedCopyPath(QStringLiteral("a.txt"))));
            temp.reg().closeConnection();
        }
        Result<RegisterRecord> record = RecordLookup::recordAt(temp.reg(), rowid);
        QVERIFY(record);
        QCOMPARE(record->recipient, QStringLiteral("李四"));
        QCOMPARE(recordCount(temp.reg()), 1);
        verifyConsistent(temp.reg(), false); // the record was made without a hash
    }

    // SQLite makes -wal and -shm with the database's mode; those left by a
    // time the database was read-only must not keep the register read-only.
    void sidecarsOfAReadOnlyTimeAreOpenedUpAgain()
    {
        TempRegister temp;
        temp.addRecord(1, QStringLiteral("a.txt"));
        temp.reg().closeConnection();
        const QString database = temp.reg().databasePath();
        for (const char* suffix : {"-wal", "-shm"}) {
            QFile side(database + QLatin1String(suffix));
            QVERIFY(side.open(QIODevice::Append));
            side.close();
            QVERIFY(side.setPermissions(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        }
        temp.addRecord(2, QStringLiteral("b.txt"));
        for (const char* suffix : {"-wal", "-shm"})
            QVERIFY2(QFile::permissions(database + QLatin1String(suffix)) & QFile::WriteOwner,
                     suffix);
        QCOMPARE(recordCount(temp.reg()), 2);
    }

    void diskFullDuringCopy()
    {
        QTemporaryDir small;
        QTemporaryDir sources;
        const bool mounted = ::mount("tmpfs", QFile::encodeName(small.path()).constData(), "tmpfs",
                                     0, "size=2m") == 0;
        struct rlimit oldLimit;
        ::getrlimit(RLIMIT_FSIZE, &oldLimit);
        const QString registerFolder = small.filePath(QStringLiteral("register"));
        std::optional<Register> reg;
        {
            Result<Register> opened = Register::open(registerFolder);
            QVERIFY2(opened, qPrintable(opened ? QString() : opened.error().fullText()));
            reg = opened.value();
        }
        QByteArray big(3 * 1024 * 1024, 'x');
        const QString bigPath = writeFile(sources.filePath(QStringLiteral("big.bin")), big);
        if (!mounted) {
            // No small file system to be had: a file size limit fails the
            // write the same way, part-way through the copy.
            ::signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit = oldLimit;
            limit.rlim_cur = 1024 * 1024;
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        const Intake::Outcome outcome =
            Intake::DdtaUp(*reg, Intake::File::fromPath(bigPath), someDetails());
        QCOMPARE(outcome.kind, Intake::Outcome::Failed);
        QVERIFY2(outcome.error.message.contains(QStringLiteral("磁盘已满")) ||
                     outcome.error.message.contains(QStringLiteral("太大")),
                 qPrintable(outcome.error.fullText()));

        // Once space is there again, intake works.
        ::setrlimit(RLIMIT_FSIZE, &oldLimit);
        const QString smallSource = writeFile(sources.filePath(QStringLiteral("s.txt")), "small");
        const Intake::Outcome fits =
            Intake::DdtaUp(*reg, Intake::File::fromPath(smallSource), someDetails());
        QCOMPARE(fits.kind, Intake::Outcome::Registered);
        ::setrlimit(RLIMIT_FSIZE, &oldLimit);
        QCOMPARE(recordCount(*reg), 1);
        verifyConsistent(*reg);
        reg->closeConnection();
        if (mounted)
            ::umount2(QFile::encodeName(small.path()).constData(), MNT_DETACH);
    }

    void sourcesFailingMidBatch()
    {
        TempRegister temp;
        QTemporaryDir sources;
        const QString a =
            writeFile(sources.filePath(QStringLiteral("a.txt")), QByteArray(3 * 1024 * 1024, 'a'));
        const QString vanishing = writeFile(sources.filePath(QStringLiteral("vanishing.txt")), "v");
        const QString becomesFolder =
            writeFile(sources.filePath(QStringLiteral("folder.txt")), "f");
        // Larger than one copy step, so that it can be cut short in between.
        constexpr qint64 shrinkingSize = 80 * 1024 * 1024;
        const QString shrinking = writeFile(sources.filePath(QStringLiteral("shrinking.bin")),
                                            QByteArray(shrinkingSize, 's'));
        const QString last = writeFile(sources.filePath(QStringLiteral("last.txt")), "last");
        QList<Intake::File> files;
        for (const QString& path : {a, vanishing, becomesFolder, shrinking, last})
            files << Intake::File::fromPath(path);

        // While the first file is copied, the next two go away; the fourth
        // is cut short while it is being copied.
        const Intake::Progress progress = [&](int index, const QString&, qint64 done, qint64) {
            if (index == 0 && done > 0 && QFile::exists(vanishing)) {
                QFile::remove(vanishing);
                QFile::remove(becomesFolder);
                QDir().mkpath(becomesFolder);
            }
            if (index == 3 && done > 0 && done < shrinkingSize)
                QFile(shrinking).resize(1000);
        };
        const QList<Intake::Outcome> outcomes =
            Intake::runBatch(temp.reg(), files, someDetails(), progress);
        QCOMPARE(outcomes.size(), 5);
        QCOMPARE(outcomes[0].kind, Intake::Outcome::Registered);
        QCOMPARE(outcomes[1].kind, Intake::Outcome::Failed);
        QVERIFY(outcomes[1].error.message.contains(QStringLiteral("找不到")));
        QCOMPARE(outcomes[1].error.detail, vanishing);
        QCOMPARE(outcomes[2].kind, Intake::Outcome::Failed);
        QVERIFY(outcomes[2].error.message.contains(QStringLiteral("文件夹")));
        QCOMPARE(outcomes[3].kind, Intake::Outcome::Failed);
        QVERIFY2(outcomes[3].error.message.contains(QStringLiteral("改动")),
                 qPrintable(outcomes[3].error.fullText()));
        QCOMPARE(outcomes[3].fileName, QStringLiteral("shrinking.bin"));
        QCOMPARE(outcomes[4].kind, Intake::Outcome::Registered);
        QCOMPARE(temp.serials(), (QList<qint64>{1, 2}));
        verifyConsistent(temp.reg());

        if (::geteuid() != 0) {
            const QString unreadable = writeFile(sources.filePath(QStringLiteral("secret")), "s");
            QFile::setPermissions(unreadable, QFileDevice::WriteOwner);
            const Intake::Outcome outcome =
                Intake::DdtaUp(temp.reg(), Intake::File::fromPath(unreadable), someDetails());
            QCOMPARE(outcome.kind, Intake::Outcome::Failed);
            QVERIFY(outcome.error.message.contains(QStringLiteral("权限")));
        }
    }

    void exportTargetsMissingOrUnwritable()
    {
        TempRegister temp;
        temp.addRecord(1, QStringLiteral("a.txt"), {}, {}, QStringLiteral("2020-01-02"), {}, {},
                       "aaa");
        QTemporaryDir out;
        const QString missingDesktop = out.filePath(QStringLiteral("Desktop"));
        Result<QString> sent = RecordExport::sendToDesktop(temp.reg(), QStringLiteral("a.txt"),
                                                           QStringLiteral("a.txt"), missingDesktop);
        QVERIFY(!sent);
        QVERIFY(sent.error().message.contains(QStringLiteral("桌面")));
        QVERIFY(sent.error().fullText().contains(missingDesktop));
        QVERIFY(!QFileInfo::exists(missingDesktop));

        const QString intoMissing = out.filePath(QStringLiteral("no/such/a.txt"));
        const Status exported =
            RecordExport::exportTo(temp.reg(), QStringLiteral("a.txt"), intoMissing);
        QVERIFY(!exported);
        QVERIFY(exported.error().message.contains(intoMissing));

        const QString lockedFolder = out.filePath(QStringLiteral("locked"));
        QVERIFY(QDir().mkpath(lockedFolder));
        Unchangeable locked(lockedFolder);
        if (!locked.done())
            QSKIP("cannot make a folder unwritable here");
        sent = RecordExport::sendToDesktop(temp.reg(), QStringLiteral("a.txt"),
                                           QStringLiteral("a.txt"), lockedFolder);
        QVERIFY(!sent);
        QVERIFY(sent.error().message.contains(lockedFolder));
        QVERIFY(QDir(lockedFolder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    }
};

QTEST_GUILESS_MAIN(TestWorldFailures)
#include "test_world_failures.moc"
