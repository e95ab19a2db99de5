#include "store/folder/StoreFiles.h"
#include "store/sql/ContentHash.h"
#include "support/CliRun.h"
#include "support/TempRegister.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Run = CliRun;

Run cli(const QStringList& arguments)
{
    return runCommandLine(arguments);
}

Run check(const TempRegister& temp, const QStringList& options = {})
{
    return cli(QStringList{QStringLiteral("--register"), temp.folder(), QStringLiteral("check")} +
               options);
}

void writeOld(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    QVERIFY(file.flush());
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-600),
                             QFileDevice::FileModificationTime));
}

} // namespace

class TestCliCheck : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void exitStatusTellsWhetherTheUserMustDecide()
    {
        TempRegister temp;
        const qint64 rowid = temp.addRecord(1, QStringLiteral("a.txt"), {}, {},
                                            QStringLiteral("2020-01-02"), {}, {}, "content");
        ContentHash::Hasher hasher;
        hasher.add("content");
        QVERIFY(ContentHash::record(temp.reg().database(), rowid, hasher.size(), hasher.hex()));

        Run clean = check(temp, {QStringLiteral("--verify")});
        QCOMPARE(clean.status, 0);
        QVERIFY2(clean.out.contains(QStringLiteral("没有需要处理的问题")), qPrintable(clean.out));

        const QString leftover =
            temp.reg().storeFolder() + QLatin1Char('/') + StoreFiles::partName();
        writeOld(leftover, "partial");
        Run found = check(temp);
        QCOMPARE(found.status, 1);
        QVERIFY(found.out.contains(QStringLiteral("[残留文件]")));
        QVERIFY(found.out.contains(QStringLiteral("--repair")));
        QVERIFY(QFile::exists(leftover));

        Run repaired = check(temp, {QStringLiteral("--repair")});
        QCOMPARE(repaired.status, 0);
        QVERIFY(repaired.out.contains(QStringLiteral("已删除")));
        QVERIFY(!QFile::exists(leftover));

        // A byte changed outside Quorvel shows only when verifying.
        writeOld(temp.reg().storedCopyPath(QStringLiteral("a.txt")), "Content");
        QCOMPARE(check(temp).status, 0);
        Run verified = check(temp, {QStringLiteral("--verify"), QStringLiteral("--repair")});
        QCOMPARE(verified.status, 1);
        QVERIFY(verified.out.contains(QStringLiteral("[内容改变]")));
        QVERIFY(verified.out.contains(QStringLiteral("a.txt")));
        QVERIFY(QFile::exists(temp.reg().storedCopyPath(QStringLiteral("a.txt"))));
    }

    void unreadableRegisterIsAFailure()
    {
        QTemporaryDir dir;
        Run missing = cli({QStringLiteral("--register"), dir.filePath(QStringLiteral("none")),
                           QStringLiteral("check")});
        QCOMPARE(missing.status, 1);
        QVERIFY(!missing.err.isEmpty());
        QVERIFY(missing.out.isEmpty());

        Run badOption = cli({QStringLiteral("--register"), dir.path(), QStringLiteral("check"),
                             QStringLiteral("--fix")});
        QVERIFY(badOption.status != 0);
    }
};

QTEST_GUILESS_MAIN(TestCliCheck)
#include "test_cli_check.moc"
