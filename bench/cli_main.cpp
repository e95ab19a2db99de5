// quorvel-bench-cli [--records 1000000] [--register DIR] [--runs 5] [--cli PATH]
// The command-line listing of each kind of criteria beside SQLite's own shell
// printing the same rows (CPU time, the two taking turns, medians); each
// listing's peak memory and writes to temporary files; and how soon
// `list --name 报 | head -n 50` has its lines and ends once head has gone.
#include "browser/CombinedSearch.h"
#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "store/view/SqliteViewSql.h"

#include "BenchRegister.h"
#include "BenchTable.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// What one run of a program printing into a pipe came to.
struct Piped {
    double ms = 0;      // start to exit
    double cpuMs = 0;   // the program's user and system time
    double firstMs = 0; // start to the lines asked for
    double stopMs = 0;  // closing the pipe to exit
    long peakKiB = 0;   // sampled while it ran
    qint64 lines = 0;
    int status = 0;    // as waitpid gives it
    QByteArray errors; // what it wrote to stderr
};

// Runs `command` with its output read from a pipe; with `keepLines`, the
// pipe is closed once that many lines came, as head does. The peak memory
// is sampled only when asked (the child's rusage would count ours, which it
// shares until exec).
Piped runPiped(const QStringList& command, qint64 keepLines = -1, bool sampleMemory = false)
{
    Piped run;
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        qFatal("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    QElapsedTimer timer;
    timer.start();
    const pid_t child = spawn(command, &actions);
    if (child == 0)
        qFatal("cannot start %s", qPrintable(command.first()));
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);

    std::vector<char> buffer(1 << 20);
    qint64 closedAt = -1;
    bool outOpen = true, errOpen = true;
    while (outOpen || errOpen) {
        pollfd fds[2] = {{outOpen ? out[0] : -1, POLLIN, 0}, {errOpen ? err[0] : -1, POLLIN, 0}};
        ::poll(fds, 2, sampleMemory ? 2 : -1);
        if (sampleMemory)
            run.peakKiB = std::max(run.peakKiB, statusKiB(child, "VmHWM:"));
        if (outOpen && fds[0].revents) {
            const ssize_t got = ::read(out[0], buffer.data(), buffer.size());
            if (got <= 0) {
                outOpen = false;
            } else {
                run.lines += std::count(buffer.data(), buffer.data() + got, '\n');
                if (keepLines >= 0 && run.lines >= keepLines) {
                    run.firstMs = timer.nsecsElapsed() / 1e6;
                    closedAt = timer.nsecsElapsed();
                    outOpen = false;
                }
            }
            if (!outOpen)
                ::close(out[0]);
        }
        if (errOpen && fds[1].revents) {
            const ssize_t got = ::read(err[0], buffer.data(), buffer.size());
            if (got <= 0) {
                errOpen = false;
                ::close(err[0]);
            } else {
                run.errors.append(buffer.data(), got);
            }
        }
    }
    rusage usage{};
    ::wait4(child, &run.status, 0, &usage);
    run.cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    run.ms = timer.nsecsElapsed() / 1e6;
    if (closedAt >= 0)
        run.stopMs = (timer.nsecsElapsed() - closedAt) / 1e6;
    else
        run.firstMs = run.ms;
    return run;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Ours and the limit in turns, each going first every other time; medians.
std::pair<double, double> inTurns(const std::function<double()>& ours,
                                  const std::function<double()>& limit, int runs)
{
    std::vector<double> oursMs, limitMs;
    for (int i = 0; i < runs; ++i) {
        if (i % 2 == 0) {
            oursMs.push_back(ours());
            limitMs.push_back(limit());
        } else {
            limitMs.push_back(limit());
            oursMs.push_back(ours());
        }
    }
    return {median(oursMs), median(limitMs)};
}

// The same records told record by record, as a person would ask the shell.
ViewCondition plainly(ViewCondition condition)
{
    if (condition.kind == ViewCondition::Kind::IndexedContains)
        condition.kind = ViewCondition::Kind::Contains;
    for (ViewCondition& side : condition.sides)
        side = plainly(side);
    return condition;
}

// The listing's statement as text for the SQLite shell: the condition's
// values written in as literals (our own fixed bench texts).
QString shellStatement(const ViewCondition& condition)
{
    QStringList columns;
    for (const QString& column :
         {RegisterNames::serial, RegisterNames::date, RegisterNames::fileName,
          RegisterNames::remark, RegisterNames::recipient, RegisterNames::method,
          RegisterNames::folder, RegisterNames::storedName})
        columns << Sql::identifier(column);
    const ViewSql sql = SqliteViewSql::rendered(plainly(condition));
    QString where = sql.where;
    for (const QVariant& value : sql.values) {
        QString literal = value.toString();
        literal = QLatin1Char('\'') + literal.replace(QLatin1Char('\''), QStringLiteral("''")) +
                  QLatin1Char('\'');
        where.replace(where.indexOf(QLatin1Char('?')), 1, literal);
    }
    return QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4, rowid")
        .arg(columns.join(QStringLiteral(", ")), Sql::identifier(RegisterNames::recordTable),
             where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where,
             Sql::identifier(RegisterNames::serial));
}

void check(const Piped& run, const QStringList& command)
{
    if (!run.errors.isEmpty() || (WIFEXITED(run.status) && WEXITSTATUS(run.status) != 0))
        qFatal("%s: %s", qPrintable(command.join(QLatin1Char(' '))), run.errors.constData());
}

// Writes to files other than the register's shared-memory index (which
// every opening touches): a sort or a subquery spilled to a temporary file.
int spilledWrites(const QStringList& command)
{
    const QString trace = QStringLiteral("/tmp/quorvel-bench-cli-%1.strace").arg(::getpid());
    const QStringList traced = QStringList{QStringLiteral("strace"),
                                           QStringLiteral("-f"),
                                           QStringLiteral("-y"),
                                           QStringLiteral("-e"),
                                           QStringLiteral("trace=pwrite64"),
                                           QStringLiteral("-o"),
                                           trace} +
                               command;
    check(runPiped(traced), traced);
    QFile file(trace);
    file.open(QIODevice::ReadOnly);
    int writes = 0;
    for (const QByteArray& line : file.readAll().split('\n'))
        writes += line.contains("pwrite64(") && !line.contains("-shm>") ? 1 : 0;
    file.remove();
    return writes;
}

// One listing: its options, and its records told as the search panel tells them.
struct Listing {
    const char* work;
    QStringList options;
    std::vector<std::pair<SearchCriteria::Box, QString>> boxes;
};

ViewCondition conditionOf(const Listing& listing)
{
    SearchCriteria criteria;
    for (const auto& [box, text] : listing.boxes)
        criteria.box(box) = text;
    return CombinedSearch::build(criteria).condition;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("records"),
                      QStringLiteral("register size, generated once in the bench cache"),
                      QStringLiteral("N"), QStringLiteral("1000000")});
    parser.addOption({QStringLiteral("register"), QStringLiteral("a register folder instead"),
                      QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("runs"), QStringLiteral("runs per figure"),
                      QStringLiteral("N"), QStringLiteral("5")});
    parser.addOption({QStringLiteral("cli"), QStringLiteral("the program to measure"),
                      QStringLiteral("PATH"), QStringLiteral(QUORVEL_CLI_PATH)});
    parser.process(app);
    QString folder = parser.value(QStringLiteral("register"));
    if (folder.isEmpty()) {
        QElapsedTimer generating;
        generating.start();
        folder = BenchRegister::cached(BenchRegister::defaultCache(),
                                       parser.value(QStringLiteral("records")).toInt());
        if (folder.isEmpty())
            qFatal("cannot generate the register");
        if (generating.elapsed() > 1000)
            std::printf("register generated in %.0f s\n", generating.elapsed() / 1e3);
    }
    const QString cli = parser.value(QStringLiteral("cli"));
    const QString database = folder + QLatin1Char('/') + RegisterNames::databaseFile;
    const int runs = std::max(1, parser.value(QStringLiteral("runs")).toInt());

    const auto list = [&](const QStringList& options) {
        return QStringList{cli, QStringLiteral("--register"), folder, QStringLiteral("list")} +
               options;
    };
    const auto cpuOf = [](const QStringList& command, qint64* lines = nullptr) {
        return [=] {
            const Piped run = runPiped(command);
            check(run, command);
            if (lines)
                *lines = run.lines;
            return run.cpuMs;
        };
    };

    using B = SearchCriteria;
    const QString zhang = QStringLiteral("张");
    const QString report = QStringLiteral("报");
    const std::vector<Listing> listings = {
        {"all records", {}, {}},
        {"recipient 张", {QStringLiteral("--recipient"), zhang}, {{B::Recipient, zhang}}},
        {"name, 1 character", {QStringLiteral("--name"), report}, {{B::FileName, report}}},
        {"name, 5 characters",
         {QStringLiteral("--name"), QStringLiteral("draft")},
         {{B::FileName, QStringLiteral("draft")}}},
        {"folder 归档",
         {QStringLiteral("--in-folder"), QStringLiteral("归档")},
         {{B::Folder, QStringLiteral("归档")}}},
        {"dates 2015-2016",
         {QStringLiteral("--from"), QStringLiteral("2015-01-01"), QStringLiteral("--to"),
          QStringLiteral("2016-12-31")},
         {{B::Earliest, QStringLiteral("2015-01-01")}, {B::Latest, QStringLiteral("2016-12-31")}}},
        {"remark 财务",
         {QStringLiteral("--remark"), QStringLiteral("财务")},
         {{B::Remark, QStringLiteral("财务")}}},
        {"recipient 张 and name 报",
         {QStringLiteral("--recipient"), zhang, QStringLiteral("--name"), report},
         {{B::Recipient, zhang}, {B::FileName, report}}},
    };

    printBenchHeader("ours", "limit", "rule");
    for (const Listing& listing : listings) {
        const QStringList command =
            list(QStringList{QStringLiteral("--format"), QStringLiteral("tsv")} + listing.options);
        const QStringList shell{QStringLiteral("sqlite3"), QStringLiteral("-tabs"), database,
                                shellStatement(conditionOf(listing))};
        qint64 lines = 0;
        const auto [ours, limit] = inTurns(cpuOf(command, &lines), cpuOf(shell), runs);
        const int count = int(lines - 1);
        const QByteArray work(listing.work);
        printBenchRow(QByteArray(work + ": CPU (ms)").constData(), count, ours, limit,
                      "sqlite3 -tabs; <= 1.5x");
        const Piped sampled = runPiped(command, -1, true);
        check(sampled, command);
        printBenchRow(QByteArray(work + ": peak memory (MiB)").constData(), count,
                      sampled.peakKiB / 1024.0, 50, "<= 50 MiB");
        printBenchRow(QByteArray(work + ": temporary writes").constData(), count,
                      spilledWrites(command), 0, "none");
    }

    // head -n 50: the time to its lines, and from its going to the end.
    for (const QString& format : {QStringLiteral("table"), QStringLiteral("tsv")}) {
        const QStringList command =
            list({QStringLiteral("--name"), report, QStringLiteral("--format"), format});
        std::vector<double> first, stop;
        for (int i = 0; i < runs; ++i) {
            const Piped run = runPiped(command, 50);
            if (!run.errors.isEmpty())
                qFatal("list into a closed pipe: %s", run.errors.constData());
            first.push_back(run.firstMs);
            stop.push_back(run.stopMs);
        }
        const QByteArray work = "--name 报 " + format.toUtf8() + " | head -n 50";
        printBenchRow(QByteArray(work + ": lines (ms)").constData(), 50, median(first), 100,
                      "<= 100 ms");
        printBenchRow(QByteArray(work + ": then exit (ms)").constData(), 50, median(stop), 100,
                      "ends at once after head");
    }
    return 0;
}
