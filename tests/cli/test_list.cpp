#include "cli/RecordOutput.h"
#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "store/view/ViewRst.h"
#include "support/CliRun.h"
#include "support/TempRegister.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryFile>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

Q_DECLARE_METATYPE(RecordOutput::Format)

namespace {

// Test tables written with plain literals.
QStringList strings(std::initializer_list<const char*> texts)
{
    QStringList list;
    for (const char* text : texts)
        list << QString::fromUtf8(text);
    return list;
}

CliRun runIn(const TempRegister& temp, const QStringList& arguments)
{
    return runCommandLine(temp.folder(), arguments);
}

void fill(TempRegister& temp)
{
    temp.addRecord(2, QStringLiteral("报告.doc"), QStringLiteral("张三"), QStringLiteral("工作"),
                   QStringLiteral("2006-03-05"), QStringLiteral("合同"), QStringLiteral("Email"));
    temp.addRecord(1, QStringLiteral("a.txt"), QStringLiteral("自己"), QStringLiteral("O'Brien"),
                   QStringLiteral("2006-05-01"), QStringLiteral("tab\there"),
                   QStringLiteral("传真"));
    temp.addRecord(3, QStringLiteral("b.txt"), QStringLiteral("本地文档"), QStringLiteral("工作"),
                   QStringLiteral("2006-05-02"), QString(), QStringLiteral("面呈"));
    temp.addRecord(4, QStringLiteral("c.txt"), QStringLiteral("自己人"), QStringLiteral("100%"),
                   QStringLiteral("2006-06-01"), QString(), QStringLiteral("Email"));
}

// Serials of tsv output, in printed order.
QStringList serialsOfTsv(const QString& tsv)
{
    QStringList lines = tsv.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (lines.isEmpty())
        return {QStringLiteral("no header")};
    lines.removeFirst();
    QStringList serials;
    for (const QString& line : lines)
        serials << line.section(QLatin1Char('\t'), 0, 0);
    return serials;
}

// Records whose values need every kind of care: escapes, quotes, control
// characters, text that is not UTF-8, dates and serials not in stored form.
void fillHostile(TempRegister& temp)
{
    const char* names[] = {"tab\there",   "line\nbreak\r", "quote\"s, and, commas",
                           "back\\slash", "\x01\b\f ctrl", "emoji😀 cafe\u0301",
                           "报告.doc"};
    // fill() made four records; three more for the values not in stored form.
    for (int serial = 5; serial <= 7; ++serial)
        temp.addRecord(serial, QStringLiteral("odd"));
    int serial = 7;
    for (const char* name : names)
        temp.addRecord(++serial, QString::fromUtf8(name), QStringLiteral("张三"),
                       QStringLiteral("a,b"), QStringLiteral("2006-03-05"),
                       QString::fromUtf8(name) + QStringLiteral("\\\""));
    const QString table = Sql::identifier(RegisterNames::recordTable);
    const QString changes[] = {
        QStringLiteral("%1 = CAST(X'ff41' AS TEXT)").arg(Sql::identifier(RegisterNames::fileName)),
        QStringLiteral("%1 = CAST(X'eda080' AS TEXT)").arg(Sql::identifier(RegisterNames::remark)),
        QStringLiteral("%1 = '2006/5/1'").arg(Sql::identifier(RegisterNames::date)),
        QStringLiteral("%1 = NULL").arg(Sql::identifier(RegisterNames::date)),
        QStringLiteral("%1 = '2006-02-30'").arg(Sql::identifier(RegisterNames::date)),
        QStringLiteral("%1 = NULL").arg(Sql::identifier(RegisterNames::serial)),
        QStringLiteral("%1 = 'x'").arg(Sql::identifier(RegisterNames::serial)),
    };
    qint64 rowid = 0;
    for (const QString& change : changes)
        QVERIFY(Sql::run(temp.reg().database(),
                         QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?").arg(table, change),
                         {++rowid})
                    .ok());
}

// What the writer prints for the view's records as texts, one by one.
QString throughTexts(const TempRegister& temp, RecordOutput::Format format)
{
    QString printed;
    QTextStream out(&printed);
    Result<std::shared_ptr<ViewRst>> view = ViewRst::open(temp.reg(), {});
    RecordOutput::Writer writer(format, out, RecordOutput::recordKeys());
    for (int position = 1; view && position <= view.value()->recordCount(); ++position)
        writer.row(RecordOutput::recordFields(*view.value()->record(position), format));
    writer.finish(QStringLiteral("（%1 条记录）").arg(view ? view.value()->recordCount() : -1));
    return printed;
}

// Runs the real program listing into a pipe that is closed after the first
// piece, as head does; its wait status and what it wrote to stderr.
std::pair<int, QByteArray> listIntoClosedPipe(const QString& folder, bool ignoreSigpipe)
{
    int out[2];
    QTemporaryFile errors;
    if (::pipe2(out, O_CLOEXEC) != 0 || !errors.open())
        return {-1, "no pipe"};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errors.handle(), STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    if (!ignoreSigpipe)
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    // An ignored signal stays ignored in the program.
    const auto previous = ::signal(SIGPIPE, ignoreSigpipe ? SIG_IGN : SIG_DFL);
    QList<QByteArray> arguments = {QUORVEL_CLI, "--register", QFile::encodeName(folder),
                                   "list",      "--format",   "tsv"};
    std::vector<char*> argv;
    for (QByteArray& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = ::posix_spawn(&child, argv[0], &actions, &attributes, argv.data(), environ);
    ::signal(SIGPIPE, previous);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(out[1]);
    char piece[256];
    const bool someOutput = spawned == 0 && ::read(out[0], piece, sizeof piece) > 0;
    ::close(out[0]);
    int status = -1;
    for (int waited = 0; spawned == 0 && waited < 600; ++waited) {
        if (::waitpid(child, &status, WNOHANG) == child)
            break;
        ::usleep(100000);
    }
    if (spawned == 0 && !WIFEXITED(status) && !WIFSIGNALED(status)) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
    return {someOutput ? status : -1, errors.readAll()};
}

} // namespace

class TestList : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void views_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("serials");
        QTest::newRow("default is all") << strings({}) << strings({"1", "2", "3", "4"});
        QTest::newRow("all") << strings({"--all"}) << strings({"1", "2", "3", "4"});
        QTest::newRow("sent") << strings({"--sent"}) << strings({"2", "4"});
        QTest::newRow("received") << strings({"--received"}) << strings({"1", "4"});
        QTest::newRow("local") << strings({"--local"}) << strings({"3"});
        QTest::newRow("folder") << strings({"--folder", "工作"}) << strings({"2", "3"});
        QTest::newRow("folder with quote") << strings({"--folder", "O'Brien"}) << strings({"1"});
        QTest::newRow("folder with percent") << strings({"--folder", "100%"}) << strings({"4"});
        QTest::newRow("folder is exact") << strings({"--folder", "100"}) << strings({});
        QTest::newRow("name") << strings({"--name", ".txt"}) << strings({"1", "3", "4"});
        QTest::newRow("recipient") << strings({"--recipient", "自己"}) << strings({"1", "4"});
        QTest::newRow("method") << strings({"--method", "mail"}) << strings({"2", "4"});
        QTest::newRow("from") << strings({"--from", "2006/5/2"}) << strings({"3", "4"});
        QTest::newRow("to includes its day")
            << strings({"--to", "2006年5月1日"}) << strings({"1", "2"});
        QTest::newRow("remark") << strings({"--remark", "合同"}) << strings({"2"});
        QTest::newRow("in-folder") << strings({"--in-folder", "0%"}) << strings({"4"});
        QTest::newRow("criteria combined")
            << strings({"--method", "Email", "--from", "2006-4-1"}) << strings({"4"});
        QTest::newRow("received refined")
            << strings({"--received", "--name", "c."}) << strings({"4"});
        QTest::newRow("received and recipient both apply")
            << strings({"--received", "--recipient", "人"}) << strings({"4"});
        QTest::newRow("sent refined") << strings({"--sent", "--in-folder", "工"}) << strings({"2"});
        QTest::newRow("folder refined")
            << strings({"--folder", "工作", "--to", "2006-5-1"}) << strings({"2"});
    }
    void views()
    {
        QFETCH(QStringList, options);
        QFETCH(QStringList, serials);
        TempRegister temp;
        fill(temp);
        const CliRun run = runIn(temp, strings({"list", "--format", "tsv"}) + options);
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QCOMPARE(serialsOfTsv(run.out), serials);
    }

    // Records straight from their stored bytes print exactly what the
    // way through texts prints, and records that cannot take that way
    // (not UTF-8, dates and serials not in stored form) take the other.
    void formatsPrintWhatTextsWould_data()
    {
        QTest::addColumn<RecordOutput::Format>("format");
        QTest::newRow("tsv") << RecordOutput::Format::Tsv;
        QTest::newRow("csv") << RecordOutput::Format::Csv;
        QTest::newRow("json") << RecordOutput::Format::Json;
        QTest::newRow("jsonl") << RecordOutput::Format::Jsonl;
        QTest::newRow("table") << RecordOutput::Format::Table;
    }
    void formatsPrintWhatTextsWould()
    {
        QFETCH(RecordOutput::Format, format);
        TempRegister temp;
        fill(temp);
        fillHostile(temp);
        const char* names[] = {"table", "tsv", "csv", "json", "jsonl"};
        const CliRun run =
            runIn(temp, strings({"list", "--format", names[static_cast<int>(format)]}));
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, throughTexts(temp, format));
    }

    // A reader that goes away (head) ends the listing at once and quietly:
    // by SIGPIPE as usual, or with status 1 where SIGPIPE is ignored.
    void closedPipeEndsTheListing_data()
    {
        QTest::addColumn<bool>("ignoreSigpipe");
        QTest::newRow("SIGPIPE") << false;
        QTest::newRow("SIGPIPE ignored") << true;
    }
    void closedPipeEndsTheListing()
    {
        QFETCH(bool, ignoreSigpipe);
        TempRegister temp;
        {
            // Far more output than a pipe holds.
            Transaction transaction(temp.reg().database());
            for (int i = 1; i <= 5000; ++i)
                temp.addRecord(i, QStringLiteral("file %1 with a longer name.txt").arg(i));
            QVERIFY(transaction.commit().ok());
        }
        const auto [status, errors] = listIntoClosedPipe(temp.folder(), ignoreSigpipe);
        QCOMPARE(errors, QByteArray());
        if (ignoreSigpipe) {
            QVERIFY(WIFEXITED(status));
            QCOMPARE(WEXITSTATUS(status), 1);
        } else {
            QVERIFY(WIFSIGNALED(status));
            QCOMPARE(WTERMSIG(status), SIGPIPE);
        }
    }

    void tableIsAlignedForWideCharacters()
    {
        TempRegister temp;
        fill(temp);
        const CliRun run = runIn(temp, {QStringLiteral("list")});
        QCOMPARE(run.status, 0);
        QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 6);
        QCOMPARE(lines.last(), QStringLiteral("（4 条记录）"));
        QVERIFY(lines.first().startsWith(QStringLiteral("文件序号")));
        // The file-name column starts at the same terminal column on each line.
        auto columnOf = [](const QString& line, const QString& text) {
            return RecordOutput::displayWidth(line.left(line.indexOf(text)));
        };
        const int nameColumn = columnOf(lines.at(0), QStringLiteral("文件名"));
        QCOMPARE(columnOf(lines.at(1), QStringLiteral("a.txt")), nameColumn);
        QCOMPARE(columnOf(lines.at(2), QStringLiteral("报告.doc")), nameColumn);
        const int recipientColumn = columnOf(lines.at(0), QStringLiteral("接收人"));
        QCOMPARE(columnOf(lines.at(2), QStringLiteral("张三")), recipientColumn);
        QCOMPARE(columnOf(lines.at(3), QStringLiteral("本地文档")), recipientColumn);
        // Shown dates use the register's display form.
        QVERIFY(lines.at(2).contains(QStringLiteral("2006-03-5")));
    }

    void displayWidthCountsTerminalColumns_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("columns");
        QTest::newRow("ascii") << QStringLiteral("a.txt") << 5;
        QTest::newRow("chinese") << QStringLiteral("报告") << 4;
        QTest::newRow("fullwidth") << QStringLiteral("ＡＢ") << 4;
        QTest::newRow("emoji") << QStringLiteral("😀👍") << 4;
        QTest::newRow("combining accent") << QStringLiteral("cafe\u0301") << 4;
        QTest::newRow("zero width joiner") << QStringLiteral("a\u200Db") << 2;
    }
    void displayWidthCountsTerminalColumns()
    {
        QFETCH(QString, text);
        QFETCH(int, columns);
        QCOMPARE(RecordOutput::displayWidth(text), columns);
    }

    void jsonIsParsable()
    {
        TempRegister temp;
        fill(temp);
        const CliRun run =
            runIn(temp, {QStringLiteral("list"), QStringLiteral("--format"), QStringLiteral("json"),
                         QStringLiteral("--folder"), QStringLiteral("工作")});
        QCOMPARE(run.status, 0);
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(run.out.toUtf8(), &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        const QJsonArray records = document.array();
        QCOMPARE(records.size(), 2);
        const QJsonObject first = records.at(0).toObject();
        QCOMPARE(first.value(QStringLiteral("文件序号")).toInteger(), 2);
        QCOMPARE(first.value(QStringLiteral("文件名")).toString(), QStringLiteral("报告.doc"));
        QCOMPARE(first.value(QStringLiteral("文件夹")).toString(), QStringLiteral("工作"));
        QCOMPARE(first.value(QStringLiteral("发件日期")).toString(), QStringLiteral("2006-03-05"));
        QCOMPARE(records.at(1).toObject().value(QStringLiteral("接收人")).toString(),
                 QStringLiteral("本地文档"));
    }

    void mistakesAreRefused_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("two views") << strings({"--sent", "--local"});
        QTest::newRow("not a date") << strings({"--from", "yesterday"});
        QTest::newRow("impossible date") << strings({"--to", "2006-2-30"});
        QTest::newRow("empty date") << strings({"--from", ""});
        QTest::newRow("unknown format") << strings({"--format", "xml"});
        QTest::newRow("folder without name") << strings({"--folder"});
    }
    void mistakesAreRefused()
    {
        QFETCH(QStringList, options);
        TempRegister temp;
        fill(temp);
        const CliRun run = runIn(temp, strings({"list"}) + options);
        QVERIFY(run.status != 0);
        QVERIFY(run.out.isEmpty());
        QVERIFY(!run.err.isEmpty());
    }

    void missingRegisterIsAnError()
    {
        QTemporaryDir empty;
        const CliRun run = runCommandLine(empty.path(), {QStringLiteral("list")});
        QVERIFY(run.status != 0);
        QVERIFY(!run.err.isEmpty());
    }

    void foldersInMenuOrder()
    {
        TempRegister temp;
        qint64 serial = 0;
        for (const auto& [folder, count] :
             {std::pair{"A", 5}, std::pair{"B", 2}, std::pair{"C", 7}, std::pair{"", 3}}) {
            for (int i = 0; i < count; ++i)
                temp.addRecord(++serial, QStringLiteral("f"), QStringLiteral("x"),
                               QString::fromUtf8(folder));
        }
        CliRun run = runIn(temp, {QStringLiteral("folders")});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, QStringLiteral("C\nA\nB\n"));
        run = runIn(temp, {QStringLiteral("folders"), QStringLiteral("--counts")});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, QStringLiteral("C\t7\nA\t5\nB\t2\n"));
    }

    void foldersOfEmptyRegister()
    {
        TempRegister temp;
        const CliRun run = runIn(temp, {QStringLiteral("folders")});
        QCOMPARE(run.status, 0);
        QVERIFY(run.out.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestList)
#include "test_list.moc"
