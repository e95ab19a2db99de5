#include "store/Register.h"
#include "store/RegisterLocation.h"
#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "store/sqlite/Schema.h"
#include "support/TempRegister.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TestRegister : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void missingRegisterIsCreatedWithTablesSlotsAndStore()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("new/register"));
        Result<Register> reg = Register::open(folder);
        QVERIFY2(reg.ok(), qPrintable(reg.error().fullText()));
        QVERIFY(reg->wasCreated());
        QVERIFY(QFileInfo(reg->databasePath()).isFile());
        QCOMPARE(QFileInfo(reg->databasePath()).fileName(), QStringLiteral("文件管理.mdb"));
        QVERIFY(QFileInfo(reg->storeFolder()).isDir());
        QCOMPARE(QFileInfo(reg->storeFolder()).fileName(), QStringLiteral("随机文件"));

        Result<QSqlQuery> slots =
            Sql::run(reg->database(),
                     QStringLiteral("SELECT 查询名称, 全部或部分文件名, 全部或部分接收人名, "
                                    "备注中的一个词, 最早发件日期, 最晚发件日期, 传送方式, "
                                    "全部或部分文件夹名 FROM 自定义查询 ORDER BY rowid"));
        QVERIFY(slots.ok());
        int slot = 0;
        while (slots->next()) {
            ++slot;
            QCOMPARE(slots->value(0).toString(), QStringLiteral("自定义查询%1").arg(slot));
            for (int column = 1; column < 8; ++column) {
                QVERIFY(!slots->value(column).isNull());
                QCOMPARE(slots->value(column).toString(), QString());
            }
        }
        QCOMPARE(slot, 9);

        // The record table has exactly the stored column names.
        Result<QSqlQuery> columns =
            Sql::run(reg->database(), QStringLiteral("PRAGMA table_info(文件管理)"));
        QStringList names;
        while (columns->next())
            names << columns->value(1).toString();
        QCOMPARE(names, (QStringList{QStringLiteral("文件序号"), QStringLiteral("发件日期"),
                                     QStringLiteral("文件名"), QStringLiteral("路径"),
                                     QStringLiteral("备注"), QStringLiteral("接收人"),
                                     QStringLiteral("传送方式"), QStringLiteral("文件夹"),
                                     QStringLiteral("记录号")}));
        Result<QVariant> mode = Sql::scalar(reg->database(), QStringLiteral("PRAGMA journal_mode"));
        QCOMPARE(mode->toString(), QStringLiteral("wal"));
        reg->closeConnection();

        // Opening again keeps it and adds no slots.
        Result<Register> again = Register::open(folder);
        QVERIFY(again.ok());
        QVERIFY(!again->wasCreated());
        QCOMPARE(Sql::scalar(again->database(), QStringLiteral("SELECT count(*) FROM 自定义查询"))
                     ->toInt(),
                 9);
        again->closeConnection();
    }

    void mustExistDoesNotCreate()
    {
        QTemporaryDir dir;
        Result<Register> reg =
            Register::open(dir.filePath(QStringLiteral("none")), Register::Mode::MustExist);
        QVERIFY(!reg.ok());
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("none"))));
    }

    void foreignFilesAreRefusedAndLeftUntouched_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        QByteArray jet(2048, '\0');
        jet.replace(4, 15, "Standard Jet DB");
        QTest::newRow("access jet") << jet << QStringLiteral("Microsoft Access");
        QByteArray ace(2048, '\0');
        ace.replace(4, 15, "Standard ACE DB");
        QTest::newRow("access ace") << ace << QStringLiteral("Microsoft Access");
        QTest::newRow("garbage") << QByteArray("this is a text file\n")
                                 << QStringLiteral("不是数据库文件");
    }

    void foreignFilesAreRefusedAndLeftUntouched()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(RegisterNames::databaseFile);
        writeFile(path, content);
        Result<Register> reg = Register::open(dir.path());
        QVERIFY(!reg.ok());
        QVERIFY2(reg.error().message.contains(path), qPrintable(reg.error().message));
        QVERIFY2(reg.error().message.contains(expected), qPrintable(reg.error().message));
        QCOMPARE(TestFiles::read(path), content);
        QVERIFY(!QFileInfo::exists(dir.filePath(RegisterNames::storeFolder)));
    }

    void otherSqliteDatabaseIsRefusedAndUntouched()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(RegisterNames::databaseFile);
        sqlite3* handle = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &handle), SQLITE_OK);
        QCOMPARE(sqlite3_exec(handle, "CREATE TABLE notes(text); INSERT INTO notes VALUES('keep');",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(handle);
        const QByteArray before = TestFiles::read(path);

        Result<Register> reg = Register::open(dir.path());
        QVERIFY(!reg.ok());
        QVERIFY(reg.error().message.contains(QStringLiteral("SQLite")));
        QCOMPARE(TestFiles::read(path), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{RegisterNames::databaseFile});
    }

    void damagedRegisterGivesAMessage()
    {
        TempRegister temp;
        for (int i = 0; i < 200; ++i)
            temp.addRecord(i + 1, QStringLiteral("文件%1.txt").arg(i));
        const QString path = temp.reg().databasePath();
        temp.reg().closeConnection();
        {
            // Fold the WAL back in, then damage the pages after the header.
            sqlite3* handle = nullptr;
            sqlite3_open(QFile::encodeName(path).constData(), &handle);
            sqlite3_exec(handle, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
            sqlite3_close(handle);
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        file.seek(100);
        file.write(QByteArray(8192, '\xff'));
        file.close();
        Result<Register> reg = Register::open(temp.folder());
        QVERIFY(!reg.ok());
        QVERIFY2(reg.error().message.contains(path), qPrintable(reg.error().message));
    }

    // Only a file read completely that lacks the tables is someone else's.
    void unreadableRegisterIsNotCalledForeign_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("cut to its header page") << 4096;
        QTest::newRow("cut inside a page") << 6000;
        QTest::newRow("cut inside the header") << 60;
    }

    void unreadableRegisterIsNotCalledForeign()
    {
        QFETCH(int, size);
        TempRegister temp;
        for (int i = 0; i < 300; ++i)
            temp.addRecord(i + 1, QStringLiteral("文件%1.txt").arg(i));
        const QString path = temp.reg().databasePath();
        temp.reg().closeConnection();
        QVERIFY(QFile::resize(path, size));
        Result<Register> reg = Register::open(temp.folder());
        QVERIFY(!reg.ok());
        QVERIFY2(reg.error().message.contains(QStringLiteral("已损坏")),
                 qPrintable(reg.error().message));
        QVERIFY2(!reg.error().message.contains(QStringLiteral("不是 Quorvel 登记库")),
                 qPrintable(reg.error().message));
        QCOMPARE(QFileInfo(path).size(), size);
    }

    void olderRegisterWithoutIndexOrSlotsIsCompleted()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(RegisterNames::databaseFile);
        sqlite3* handle = nullptr;
        sqlite3_open(QFile::encodeName(path).constData(), &handle);
        const char* sql =
            "CREATE TABLE 文件管理 (文件序号, 发件日期, 文件名, 路径, 备注, 接收人, 传送方式, "
            "文件夹);"
            "CREATE TABLE 自定义查询 (查询名称, 工具条标题, 全部或部分文件名, 全部或部分接收人名, "
            "备注中的一个词, 最早发件日期, 最晚发件日期, 传送方式, 全部或部分文件夹名);"
            "INSERT INTO 自定义查询 VALUES ('我的', ' ', '', '', '', '', '', '', '');"
            "INSERT INTO 文件管理 VALUES (1, '2006-03-05', 'a.doc', 'a.doc', '', '', '', '');";
        QCOMPARE(sqlite3_exec(handle, sql, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(handle);

        Result<Register> reg = Register::open(dir.path());
        QVERIFY2(reg.ok(), qPrintable(reg.error().fullText()));
        QCOMPARE(Sql::scalar(reg->database(), QStringLiteral("SELECT count(*) FROM 自定义查询"))
                     ->toInt(),
                 9);
        QCOMPARE(
            Sql::scalar(reg->database(),
                        QStringLiteral("SELECT 查询名称 FROM 自定义查询 ORDER BY rowid LIMIT 1"))
                ->toString(),
            QStringLiteral("我的"));
        QCOMPARE(Sql::scalar(reg->database(),
                             QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type='index' "
                                            "AND name = '文件管理_文件序号'"))
                     ->toInt(),
                 1);
        QCOMPARE(
            Sql::scalar(reg->database(), QStringLiteral("SELECT count(*) FROM 文件管理"))->toInt(),
            1);
        reg->closeConnection();
    }

    void storedCopyPathStaysInsideTheStore_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("plain") << QStringLiteral("报告.doc") << true;
        QTest::newRow("dotted") << QStringLiteral(".hidden") << true;
        QTest::newRow("parent") << QStringLiteral("..") << false;
        QTest::newRow("traversal") << QStringLiteral("../文件管理.mdb") << false;
        QTest::newRow("absolute") << QStringLiteral("/etc/passwd") << false;
        QTest::newRow("backslash") << QStringLiteral("..\\x") << false;
        QTest::newRow("empty") << QString() << false;
    }

    void storedCopyPathStaysInsideTheStore()
    {
        QFETCH(QString, name);
        QFETCH(bool, allowed);
        TempRegister temp;
        const QString path = temp.reg().storedCopyPath(name);
        QCOMPARE(!path.isEmpty(), allowed);
        if (allowed)
            QCOMPARE(QFileInfo(path).absolutePath(), temp.reg().storeFolder());
    }

    void locationOrder()
    {
        QTemporaryDir dir;
        qputenv("QUORVEL_REGISTER", dir.filePath(QStringLiteral("env")).toUtf8());
        QCOMPARE(RegisterLocation::resolve(dir.filePath(QStringLiteral("opt"))),
                 dir.filePath(QStringLiteral("opt")));
        QCOMPARE(RegisterLocation::resolve(), dir.filePath(QStringLiteral("env")));
        qunsetenv("QUORVEL_REGISTER");
        qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());
        QCOMPARE(RegisterLocation::resolve(), dir.filePath(QStringLiteral("data/quorvel")));
    }
};

QTEST_GUILESS_MAIN(TestRegister)
#include "test_register.moc"
