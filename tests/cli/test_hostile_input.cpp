// Strange file names, a damaged or hostile register, and SQL-breaking texts
// in every search and field option: registered and found literally, or
// refused with a message, and never a file touched outside the store.

#include "cli/Command.h"
#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "support/TempRegister.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

namespace {

struct CliRun {
    int code = 0;
    QString out;
    QString err;
};

CliRun cli(const TempRegister& temp, const QStringList& arguments)
{
    temp.reg().closeConnection();
    CliRun run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    run.code =
        runCli(QStringList{QStringLiteral("--register"), temp.folder()} + arguments, out, err);
    return run;
}

// Points the desktop folder at `desktop` (as the user's folder settings do).
void useDesktop(const QString& configFolder, const QString& desktop)
{
    QDir().mkpath(configFolder);
    QFile dirs(QDir(configFolder).filePath(QStringLiteral("user-dirs.dirs")));
    if (!dirs.open(QIODevice::WriteOnly))
        qFatal("cannot write user-dirs.dirs");
    dirs.write("XDG_DESKTOP_DIR=\"" + QFile::encodeName(desktop) + "\"\n");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configFolder));
}

} // namespace

class TestHostileInput : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void strangeFileNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("quotes") << QStringLiteral("it's \"quoted\".txt");
        QTest::newRow("percent underscore") << QStringLiteral("100%_done.txt");
        QTest::newRow("backslash") << QStringLiteral("back\\slash\\.txt");
        QTest::newRow("newline") << QStringLiteral("two\nlines.txt");
        QTest::newRow("leading dot") << QStringLiteral(".hidden");
        QTest::newRow("sql") << QStringLiteral("x'); DROP TABLE 文件管理; --.doc");
        QTest::newRow("255 bytes") << QString(251, u'a') + QStringLiteral(".txt");
        QTest::newRow("255 bytes chinese") << QString(83, u'文') + QStringLiteral(".t");
    }

    // Registered under its own name, its copy identical, and it comes back
    // out by save as and to the desktop unchanged.
    void strangeFileNames()
    {
        QFETCH(QString, name);
        TempRegister temp;
        QTemporaryDir sources;
        const QString source = sources.filePath(name);
        const QByteArray content = "content of " + name.toUtf8();
        {
            QFile file(source);
            QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
            file.write(content);
        }
        CliRun added = cli(temp, {QStringLiteral("add"), source});
        QVERIFY2(added.code == 0, qPrintable(added.err));
        Result<QSqlQuery> query =
            Sql::run(temp.reg().database(), QStringLiteral("SELECT %1, %2 FROM %3")
                                                .arg(Sql::identifier(RegisterNames::fileName),
                                                     Sql::identifier(RegisterNames::storedName),
                                                     Sql::identifier(RegisterNames::recordTable)));
        QVERIFY(query && query->next());
        const QString storedName = query->value(1).toString();
        // Long names are cut to the column, never to a different name.
        QVERIFY(!query->value(0).toString().isEmpty());
        QVERIFY(name.startsWith(query->value(0).toString()));
        QVERIFY(Register::isPlainFileName(storedName));
        QCOMPARE(TestFiles::read(temp.reg().storedCopyPath(storedName)), content);
        query->finish();

        QTemporaryDir out;
        const QString target = out.filePath(QStringLiteral("saved"));
        CliRun exported = cli(temp, {QStringLiteral("export"), QStringLiteral("1"), target});
        QVERIFY2(exported.code == 0, qPrintable(exported.err));
        QCOMPARE(TestFiles::read(target), content);

        const QString desktop = out.filePath(QStringLiteral("Desktop"));
        QVERIFY(QDir().mkpath(desktop));
        useDesktop(out.filePath(QStringLiteral("config")), desktop);
        CliRun sent = cli(temp, {QStringLiteral("to-desktop"), QStringLiteral("1")});
        qunsetenv("XDG_CONFIG_HOME");
        QVERIFY2(sent.code == 0, qPrintable(sent.err));
        const QStringList onDesktop =
            QDir(desktop).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
        QCOMPARE(onDesktop.size(), 1);
        QCOMPARE(TestFiles::read(QDir(desktop).filePath(onDesktop.first())), content);
    }

    // Bytes that are not UTF-8 cannot survive the trip through text: the file
    // is refused by name, and no record points at anything else.
    void nameNotUtf8IsRefused()
    {
        TempRegister temp;
        QTemporaryDir sources;
        const QByteArray raw = QFile::encodeName(sources.path()) + "/bad\xff\xfe name.txt";
        const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        QVERIFY(fd >= 0);
        QVERIFY(::write(fd, "x", 1) == 1);
        ::close(fd);
        // As the program receives it: its arguments are text.
        CliRun added = cli(temp, {QStringLiteral("add"), QFile::decodeName(raw)});
        QCOMPARE(added.code, 1);
        QVERIFY2(added.err.contains(QStringLiteral("UTF-8")), qPrintable(added.err));
        QCOMPARE(temp.serials(), QList<qint64>());
        QVERIFY(QDir(temp.reg().storeFolder())
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty());
    }

    // Stored names that lead outside the store, Nulls and text serials: the
    // commands refuse what they cannot do safely and touch nothing outside.
    void hostileRegisterNeverLeadsOutside()
    {
        TempRegister temp;
        QTemporaryDir outside;
        const QString victim = outside.filePath(QStringLiteral("victim.txt"));
        {
            QFile file(victim);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("precious");
        }
        const QString relative =
            QStringLiteral("../../") + QDir(temp.reg().storeFolder()).relativeFilePath(victim);
        const QStringList badNames = {relative, victim, QStringLiteral("sub/victim.txt"),
                                      QStringLiteral(".."), QString()};
        QSqlDatabase db = temp.reg().database();
        const QString insert = QStringLiteral("INSERT INTO %1 (%2, %3, %4) VALUES (?, ?, ?)")
                                   .arg(Sql::identifier(RegisterNames::recordTable),
                                        Sql::identifier(RegisterNames::serial),
                                        Sql::identifier(RegisterNames::fileName),
                                        Sql::identifier(RegisterNames::storedName));
        for (int i = 0; i < badNames.size(); ++i)
            QVERIFY(Sql::run(db, insert,
                             {i + 1, QStringLiteral("victim.txt"),
                              badNames.at(i).isNull() ? QVariant() : QVariant(badNames.at(i))}));
        QVERIFY(Sql::run(db, insert, {QStringLiteral("abc"), QVariant(), QVariant()}));
        QVERIFY(Sql::run(db, insert, {QVariant(), QVariant(), QVariant()}));

        CliRun listed = cli(temp, {QStringLiteral("list")});
        QVERIFY2(listed.code == 0, qPrintable(listed.err));
        QTemporaryDir out;
        const QString desktop = out.filePath(QStringLiteral("Desktop"));
        QVERIFY(QDir().mkpath(desktop));
        useDesktop(out.filePath(QStringLiteral("config")), desktop);
        for (int serial = 1; serial <= badNames.size(); ++serial) {
            const QString s = QString::number(serial);
            const QString target = out.filePath(QStringLiteral("saved") + s);
            CliRun exported = cli(temp, {QStringLiteral("export"), s, target});
            QCOMPARE(exported.code, 1);
            QVERIFY(!QFile::exists(target));
            CliRun sent = cli(temp, {QStringLiteral("to-desktop"), s});
            QCOMPARE(sent.code, 1);
            CliRun modified = cli(temp, {QStringLiteral("modify"), QStringLiteral("--remark"),
                                         QStringLiteral("x"), s});
            QVERIFY2(modified.code == 0, qPrintable(modified.err));
            cli(temp, {QStringLiteral("move-down"), s});
            cli(temp, {QStringLiteral("move-up"), s});
        }
        qunsetenv("XDG_CONFIG_HOME");
        QVERIFY(QDir(desktop).isEmpty());
        QStringList all;
        for (qint64 serial : temp.serials())
            all << QString::number(serial);
        CliRun deleted =
            cli(temp, QStringList{QStringLiteral("delete"), QStringLiteral("--yes")} + all);
        Q_UNUSED(deleted);
        QCOMPARE(TestFiles::read(victim), QByteArray("precious"));
        QCOMPARE(QDir(outside.path()).entryList(QDir::Files).size(), 1);
        QVERIFY(cli(temp, {QStringLiteral("check")}).code != 2);
        QCOMPARE(TestFiles::read(victim), QByteArray("precious"));
    }

    // Paths the program cannot write safely: refused with a reason, and
    // nothing created or overwritten anywhere. %R: the register, %O: outside.
    void unsafePathsAreRefused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("reason");
        QTest::newRow("register not UTF-8")
            << QStringList{QStringLiteral("--register"), QStringLiteral("%O/reg\uFFFD"),
                           QStringLiteral("init")}
            << QStringLiteral("UTF-8");
        QTest::newRow("export target not UTF-8")
            << QStringList{QStringLiteral("--register"), QStringLiteral("%R"),
                           QStringLiteral("export"), QStringLiteral("1"),
                           QStringLiteral("%O/out\uFFFD.txt")}
            << QStringLiteral("UTF-8");
        QTest::newRow("export over the database")
            << QStringList{QStringLiteral("--register"), QStringLiteral("%R"),
                           QStringLiteral("export"),     QStringLiteral("--force"),
                           QStringLiteral("1"),          QStringLiteral("%R/文件管理.mdb")}
            << QStringLiteral("登记库文件夹");
        QTest::newRow("backup into the register")
            << QStringList{QStringLiteral("--register"), QStringLiteral("%R"),
                           QStringLiteral("backup"), QStringLiteral("%R/随机文件/备份")}
            << QStringLiteral("登记库文件夹之内");
        QTest::newRow("restore over the register")
            << QStringList{QStringLiteral("--register"), QStringLiteral("%R"),
                           QStringLiteral("restore"), QStringLiteral("%O")}
            << QStringLiteral("不是空文件夹");
    }

    void unsafePathsAreRefused()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, reason);
        TempRegister temp;
        temp.addRecord(1, QStringLiteral("a.txt"), {}, {}, QStringLiteral("2020-01-02"), {}, {},
                       "a");
        temp.reg().closeConnection();
        QTemporaryDir work;
        const QString outside = work.filePath(QStringLiteral("outside"));
        QVERIFY(QDir().mkpath(outside));
        const QByteArray database = TestFiles::read(temp.reg().databasePath());
        for (QString& argument : arguments)
            argument.replace(QStringLiteral("%R"), temp.folder())
                .replace(QStringLiteral("%O"), outside);

        CliRun run;
        QTextStream out(&run.out);
        QTextStream err(&run.err);
        run.code = runCli(arguments, out, err);
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.contains(reason), qPrintable(run.err));
        QVERIFY(QDir(outside).isEmpty());
        QCOMPARE(TestFiles::read(temp.reg().databasePath()), database);
        QCOMPARE(temp.serials(), QList<qint64>{1});
    }

    void sqlBreakingTextsAreLiteral_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("quote") << QStringLiteral("O'Brien");
        QTest::newRow("double quote") << QStringLiteral("say \"hi\"");
        QTest::newRow("comment") << QStringLiteral("a -- b");
        QTest::newRow("statement") << QStringLiteral("x'; DELETE FROM 文件管理; --");
        QTest::newRow("percent") << QStringLiteral("50%");
        QTest::newRow("underscore") << QStringLiteral("a_b");
        QTest::newRow("backslash") << QStringLiteral("C:\\temp\\");
        QTest::newRow("nul") << QStringLiteral("a") + QChar(0) + QStringLiteral("b");
        QTest::newRow("long") << QString(20000, u'长');
    }

    // Written through every field option and found through every search
    // option, literally: the decoys that only a wildcard would match are not.
    void sqlBreakingTextsAreLiteral()
    {
        QFETCH(QString, text);
        TempRegister temp;
        QTemporaryDir sources;
        QStringList paths;
        for (const QString& name : {QStringLiteral("target.txt"), QStringLiteral("decoy.txt")}) {
            QFile file(sources.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(name.toUtf8());
            paths << file.fileName();
        }
        const QString decoy = QStringLiteral("aXbO Brien50Xsay xhix -- C:xtempx");
        CliRun added = cli(temp, {QStringLiteral("add"), QStringLiteral("--remark"), text,
                                  QStringLiteral("--recipient"), text, QStringLiteral("--method"),
                                  text, QStringLiteral("--folder"), text, paths.at(0)});
        QVERIFY2(added.code == 0, qPrintable(added.err));
        added = cli(temp, {QStringLiteral("add"), QStringLiteral("--remark"), decoy, paths.at(1)});
        QVERIFY2(added.code == 0, qPrintable(added.err));
        CliRun modified = cli(temp, {QStringLiteral("modify"), QStringLiteral("--recipient"), decoy,
                                     QStringLiteral("--method"), decoy, QStringLiteral("--folder"),
                                     decoy, QStringLiteral("2")});
        QVERIFY2(modified.code == 0, qPrintable(modified.err));
        QCOMPARE(temp.serials(), (QList<qint64>{1, 2}));

        // Searched with a piece of the text short enough for every column.
        const QString piece = text.left(40);
        for (const QString& option :
             {QStringLiteral("--remark"), QStringLiteral("--recipient"), QStringLiteral("--method"),
              QStringLiteral("--in-folder"), QStringLiteral("--name")}) {
            const QString value =
                option == QLatin1String("--name") ? QStringLiteral("target") : piece;
            CliRun found = cli(temp, {QStringLiteral("list"), option, value});
            QVERIFY2(found.code == 0, qPrintable(option + found.err));
            QVERIFY2(found.out.contains(QStringLiteral("target.txt")), qPrintable(option));
            QVERIFY2(!found.out.contains(QStringLiteral("decoy.txt")), qPrintable(option));
        }
        CliRun none = cli(temp, {QStringLiteral("list"), QStringLiteral("--name"), piece});
        QVERIFY2(none.code == 0, qPrintable(none.err));
        QVERIFY(!none.out.contains(QStringLiteral("decoy.txt")));
    }
};

QTEST_GUILESS_MAIN(TestHostileInput)
#include "test_hostile_input.moc"
