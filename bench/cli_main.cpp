// quorvel-bench-cli [--register DIR] [--runs 3] [--common TEXT] [--rare TEXT] [--cli PATH]
// The command-line listing beside SQLite's own shell printing the same
// columns of the same statement, the two taking turns in one run (medians);
// the listing's peak memory; and how soon `list --name X | head -n 50` has
// its lines and the listing ends once head has gone.
#include "browser/CombinedSearch.h"
#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "store/view/SqliteViewSql.h"

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
#include <sys/wait.h>
#include <unistd.h>

namespace {

// What one run of a program printing into a pipe came to.
struct Piped {
    double ms = 0;      // start to exit
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
    ::waitpid(child, &run.status, 0);
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
    const ViewSql sql = SqliteViewSql::rendered(condition);
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

ViewCondition nameCondition(const QString& text)
{
    SearchCriteria criteria;
    criteria.fileName = text;
    return CombinedSearch::build(criteria).condition;
}

void check(const Piped& run, const QStringList& command)
{
    if (!run.errors.isEmpty() || (WIFEXITED(run.status) && WEXITSTATUS(run.status) != 0))
        qFatal("%s: %s", qPrintable(command.join(QLatin1Char(' '))), run.errors.constData());
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("register"), QStringLiteral("register folder"),
                      QStringLiteral("DIR"),
                      QStringLiteral("/tmp/quorvel-bench/register-1000000")});
    parser.addOption({QStringLiteral("runs"), QStringLiteral("runs per figure"),
                      QStringLiteral("N"), QStringLiteral("3")});
    parser.addOption({QStringLiteral("common"), QStringLiteral("a file-name text most match"),
                      QStringLiteral("TEXT"), QStringLiteral("doc")});
    parser.addOption({QStringLiteral("rare"), QStringLiteral("a file-name text few match"),
                      QStringLiteral("TEXT"), QStringLiteral("设计发票")});
    parser.addOption({QStringLiteral("cli"), QStringLiteral("the program to measure"),
                      QStringLiteral("PATH"), QStringLiteral(QUORVEL_CLI_PATH)});
    parser.process(app);
    const QString folder = parser.value(QStringLiteral("register"));
    const QString cli = parser.value(QStringLiteral("cli"));
    const QString database = folder + QLatin1Char('/') + RegisterNames::databaseFile;
    const int runs = std::max(1, parser.value(QStringLiteral("runs")).toInt());
    const QString common = parser.value(QStringLiteral("common"));
    const QString rare = parser.value(QStringLiteral("rare"));

    const auto list = [&](const QStringList& options) {
        return QStringList{cli, QStringLiteral("--register"), folder, QStringLiteral("list")} +
               options;
    };
    const auto shell = [&](const QString& mode, const ViewCondition& condition) {
        return QStringList{QStringLiteral("sqlite3"), mode, database, shellStatement(condition)};
    };
    const auto timed = [&](const QStringList& command, qint64* lines = nullptr) {
        return [=] {
            const Piped run = runPiped(command);
            check(run, command);
            if (lines)
                *lines = run.lines;
            return run.ms;
        };
    };

    printBenchHeader("ours", "limit", "limit");

    // Whole listings, each format beside the shell's nearest mode.
    struct Listing {
        const char* work;
        QStringList options;
        ViewCondition condition;
        const char* mode;
        const char* rule;
    };
    const Listing listings[] = {
        {"list tsv: all records (ms)",
         {QStringLiteral("--format"), QStringLiteral("tsv")},
         {},
         "-tabs",
         "sqlite3 -tabs; <= 1.5x"},
        {"list tsv: common name (ms)",
         {QStringLiteral("--format"), QStringLiteral("tsv"), QStringLiteral("--name"), common},
         nameCondition(common),
         "-tabs",
         "sqlite3 -tabs; <= 1.5x"},
        {"list csv: all records (ms)",
         {QStringLiteral("--format"), QStringLiteral("csv")},
         {},
         "-csv",
         "sqlite3 -csv"},
        {"list json: all records (ms)",
         {QStringLiteral("--format"), QStringLiteral("json")},
         {},
         "-json",
         "sqlite3 -json"},
        {"list table: all records (ms)", {}, {}, "-column", "sqlite3 -column"},
    };
    for (const Listing& listing : listings) {
        qint64 lines = 0;
        const auto [ours, limit] =
            inTurns(timed(list(listing.options), &lines),
                    timed(shell(QString::fromLatin1(listing.mode), listing.condition)), runs);
        printBenchRow(listing.work, int(lines - 1), ours, limit, listing.rule);
    }

    // Peak memory of whole listings.
    for (const char* format : {"tsv", "json", "table"}) {
        const QStringList command = list({QStringLiteral("--format"), QString::fromLatin1(format)});
        const Piped run = runPiped(command, -1, true);
        check(run, command);
        const QByteArray work = QByteArray("list peak memory: ") + format + " (MiB)";
        printBenchRow(work.constData(), int(run.lines - 1), run.peakKiB / 1024.0, 50, "<= 50 MiB");
    }

    // head -n 50: the time to its lines, and from its going to the end.
    for (const QString& text : {common, rare}) {
        for (const char* format : {"table", "tsv"}) {
            const QStringList command =
                list({QStringLiteral("--name"), text, QStringLiteral("--format"),
                      QString::fromLatin1(format)});
            std::vector<double> first, stop;
            for (int i = 0; i < runs; ++i) {
                const Piped run = runPiped(command, 50);
                if (!run.errors.isEmpty())
                    qFatal("list into a closed pipe: %s", run.errors.constData());
                first.push_back(run.firstMs);
                stop.push_back(run.stopMs);
            }
            const QByteArray work =
                QByteArray("| head -n 50, ") + format + ", " + (text == common ? "common" : "rare");
            printBenchRow(QByteArray(work + ": 50 lines (ms)").constData(), 50, median(first), 100,
                          "<= 100 ms");
            printBenchRow(QByteArray(work + ": then exit (ms)").constData(), 50, median(stop), 100,
                          "ends at once after head");
        }
    }
    return 0;
}
