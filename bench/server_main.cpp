// A register on a PostgreSQL server beside the same records in an SQLite
// register: views (first screen and complete keys), searches, record
// operations and intake, each timed on both in one run.
// Usage: quorvel-bench-server URL [records] [runs] [--intake | --server-only],
// URL naming an empty database or one this program filled before with as
// many records (postgresql://user@host/db?store=/folder); --intake times
// intake alone. The SQLite register is the one quorvel-bench generates, kept
// under its cache; the server gets its records. --server-only times the
// views and record operations of a server register filled before, for one
// of ten million records that bench/server-register.sql makes in minutes
// where generating both takes hours; the SQLite column then reads 0.

#include "BenchOperations.h"
#include "BenchRegister.h"
#include "BenchTable.h"
#include "BenchTiming.h"

#include "browser/CombinedSearch.h"
#include "intake/Intake.h"
#include "store/RecordFields.h"
#include "store/RecordStore.h"
#include "store/Register.h"
#include "store/RegisterNames.h"
#include "store/pg/PgSql.h"
#include "store/sql/Sql.h"
#include "store/view/ViewRst.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int fillGroup = 500;

QString recordColumns()
{
    QStringList columns;
    for (const QString& column : RecordFields::columns())
        columns << Sql::identifier(column);
    return columns.join(QStringLiteral(", "));
}

// The local register's records, with their rowids as identities, written to
// the server in groups of `fillGroup` a statement; then the server's
// statistics, as its autovacuum would gather them.
bool fillServer(const Register& local, const Register& server)
{
    using namespace RegisterNames;
    const QString columns = recordColumns();
    Result<QSqlQuery> rows =
        Sql::run(local.database(), QStringLiteral("SELECT %1, rowid FROM %2 ORDER BY rowid")
                                       .arg(columns, Sql::identifier(recordTable)));
    if (!rows)
        return false;
    const QSqlDatabase db = server.database();
    const QString row = QStringLiteral("(?::bigint, ?, ?, ?, ?, ?, ?, ?, ?::bigint)");
    bool more = true;
    while (more) {
        QVariantList values;
        QStringList marks;
        while (marks.size() < fillGroup && (more = rows->next())) {
            for (int column = 0; column < 9; ++column)
                values << rows->value(column);
            marks << row;
        }
        if (marks.isEmpty())
            break;
        const QString sql = QStringLiteral("INSERT INTO %1 (%2, %3) VALUES %4")
                                .arg(Sql::identifier(recordTable), columns,
                                     Sql::identifier(identity), marks.join(QLatin1Char(',')));
        if (!Sql::run(db, sql, values))
            return false;
    }
    const QString sequence =
        QStringLiteral("SELECT setval(pg_get_serial_sequence(?, ?), max(%1)) FROM %2")
            .arg(Sql::identifier(identity), Sql::identifier(recordTable));
    return Sql::run(db, sequence, {Sql::identifier(recordTable), identity}) &&
           PgSql::exec(db, QStringLiteral("VACUUM ANALYZE"));
}

// Records beyond the first `count` and their copies, taken away again after
// an intake.
void removeAddedRecords(const Register& reg, int count)
{
    using namespace RegisterNames;
    Result<QSqlQuery> names =
        Sql::run(reg.database(),
                 QStringLiteral("SELECT %1 FROM %2 WHERE %3 > ?")
                     .arg(Sql::identifier(storedName), Sql::identifier(recordTable),
                          Sql::identifier(serial)),
                 {count});
    while (names && names->next())
        QFile::remove(QDir(reg.storeFolder()).filePath(names->value(0).toString()));
    (void)Sql::run(reg.database(),
                   QStringLiteral("DELETE FROM %1 WHERE %2 > ?")
                       .arg(Sql::identifier(recordTable), Sql::identifier(serial)),
                   {count});
}

// Views, searches and record operations on the first `kinds` of the two
// registers, each row the median of `runs`.
void timeViewsAndOperations(const Register* const registers[2], int kinds, int count, int runs)
{
    const auto row = [&](const char* work, double onServer, double onSqlite, const char* target) {
        printBenchRow(work, count, onServer, onSqlite, target);
    };

    // Views and searches, each kind in turn within a run.
    const auto shownRows = [&](const char* label, const ViewCondition& condition,
                               const char* firstTarget, const char* completeTarget) {
        std::vector<double> first[2], complete[2], end[2];
        for (int run = 0; run < runs; ++run) {
            for (int kind = 0; kind < kinds; ++kind) {
                const ShownMs shown = shownMs(*registers[kind], condition);
                first[kind].push_back(shown.first);
                complete[kind].push_back(shown.complete);
                end[kind].push_back(shown.end);
            }
        }
        const auto relabel = [&](const char* as) {
            return QString::fromUtf8(label)
                .replace(QStringLiteral("view: "), QString::fromUtf8(as) + QStringLiteral(": "))
                .replace(QStringLiteral("search: "), QString::fromUtf8(as) + QStringLiteral(": "))
                .toUtf8();
        };
        row(relabel("1st screen").constData(), medianOf(first[0]), medianOf(first[1]), firstTarget);
        row(relabel("complete").constData(), medianOf(complete[0]), medianOf(complete[1]),
            completeTarget);
        row(relabel("scroll to end").constData(), medianOf(end[0]), medianOf(end[1]), "<= 1000 ms");
    };
    const char* firstTarget = "<= 100 ms";
    // Complete and scrollable: 300 ms at a million records, 600 ms at ten.
    const char* completeTarget = count > 2000000 ? "<= 600 ms" : "<= 300 ms";
    const auto view = [&](const char* label, const ViewCondition& condition) {
        shownRows(label, condition, firstTarget, completeTarget);
    };
    for (const auto& [label, condition] : benchViews())
        view(label, condition);

    const auto search = [&](const char* label, SearchCriteria criteria) {
        view(label, CombinedSearch::SqlMade(criteria));
    };
    SearchCriteria criteria;
    criteria.fileName = QStringLiteral("会议纪");
    search("search: name, 3 characters", criteria);
    criteria.fileName = QStringLiteral("_final");
    search("search: name, 6 characters", criteria);
    criteria.fileName = QStringLiteral("会议");
    search("search: name, 2 characters", criteria);
    criteria = {};
    criteria.remark = QStringLiteral("预算总结");
    search("search: remark, 4 characters", criteria);
    criteria = {};
    criteria.recipient = QStringLiteral("张");
    search("search: recipient, 1 character", criteria);
    criteria = {};
    criteria.method = QStringLiteral("Q");
    search("search: method, 1 character", criteria);
    criteria = {};
    criteria.folder = QStringLiteral("归档");
    search("search: folder, 2 characters", criteria);
    criteria.folder = QStringLiteral("资");
    search("search: folder, 1 char, 62% match", criteria);

    // Record operations in the middle of the all-records view.
    OperationMs operations[2];
    for (int kind = 0; kind < kinds; ++kind) {
        Result<std::shared_ptr<ViewRst>> all = ViewRst::open(*registers[kind], {});
        if (all)
            operations[kind] = timeRecordOperations(*registers[kind], *all.value(), runs);
    }
    const char* operationTarget = "<= 20 ms";
    row("move up (record + view)", operations[0].moveUp, operations[1].moveUp, operationTarget);
    row("move down (record + view)", operations[0].moveDown, operations[1].moveDown,
        operationTarget);
    row("delete (record + view)", operations[0].remove, operations[1].remove, operationTarget);
    row("restore from the recycle bin", operations[0].restore, operations[1].restore,
        operationTarget);
    row("modify one record (4 fields)", operations[0].modify, operations[1].modify,
        operationTarget);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments();
    const bool intakeOnly = arguments.removeAll(QStringLiteral("--intake")) > 0;
    const bool serverOnly = arguments.removeAll(QStringLiteral("--server-only")) > 0;
    if (arguments.size() < 2) {
        std::fprintf(stderr, "usage: quorvel-bench-server URL [records] [runs] [--intake | "
                             "--server-only]\n");
        return 2;
    }
    const int count = arguments.size() > 2 ? arguments.at(2).toInt() : 100000;
    const int runs = arguments.size() > 3 ? arguments.at(3).toInt() : 5;
    Result<Register> server = Register::open(arguments.at(1));
    if (serverOnly) {
        if (!server) {
            std::fprintf(stderr, "%s\n", qPrintable(server.error().fullText()));
            return 1;
        }
        Result<qint64> held = server->records()->recordCount();
        if (!held || *held != count) {
            std::fprintf(stderr, "the server database does not hold %d records\n", count);
            return 1;
        }
        const Register* registers[] = {&server.value(), nullptr};
        printBenchHeader("server ms", "SQLite ms", "target (server)");
        timeViewsAndOperations(registers, 1, count, runs);
        return 0;
    }
    const QString cache = BenchRegister::defaultCache();
    const QString localFolder = BenchRegister::cached(cache, count);
    Result<Register> local = Register::open(localFolder);
    if (!server || !local) {
        std::fprintf(stderr, "%s\n",
                     qPrintable((server ? local.error() : server.error()).fullText()));
        return 1;
    }
    const Register* registers[] = {&server.value(), &local.value()};
    // An intake left over from an interrupted run goes first.
    for (const Register* reg : registers)
        removeAddedRecords(*reg, count);
    const Result<qint64> counted = server->records()->recordCount();
    const qint64 held = counted ? counted.value() : -1;
    if (held != count) {
        if (held != 0) {
            std::fprintf(stderr,
                         "the server database holds %lld records, not %d: give an empty one\n",
                         held, count);
            return 1;
        }
        QElapsedTimer timer;
        timer.start();
        if (!fillServer(*local, *server)) {
            std::fprintf(stderr, "filling the server failed\n");
            return 1;
        }
        std::fprintf(stderr, "(server filled with %d records in %.1f s)\n", count,
                     timer.elapsed() / 1000.0);
    }

    printBenchHeader("server ms", "SQLite ms", "target (server)");
    const auto row = [&](const char* work, double onServer, double onSqlite, const char* target) {
        printBenchRow(work, count, onServer, onSqlite, target);
    };

    if (!intakeOnly)
        timeViewsAndOperations(registers, 2, count, runs);

    // 1,000 small files into each register, beside the bare limit on the
    // same kind: copy + fsync + rename + one committed insert a file.
    // A folder of this run's own: another run may share the cache.
    QTemporaryDir intakeDir(cache + QStringLiteral("/server-intake-XXXXXX"));
    const QString intakeRoot = intakeDir.path();
    QDir().mkpath(intakeRoot + QStringLiteral("/small"));
    QStringList small;
    QList<Intake::File> files;
    for (int i = 0; i < 1000; ++i) {
        small << intakeRoot + QStringLiteral("/small/file%1.txt").arg(i);
        writeFile(small.last(), 10 * 1024);
        files << Intake::File::fromPath(small.last());
    }
    ::sync();
    Intake::Details details;
    details.date = QDate(2024, 1, 2);
    details.folder = QStringLiteral("基准");
    const QString bareTable = QStringLiteral("quorvel_bench_bare");
    const QSqlDatabase serverDb = server->database();
    (void)Sql::run(serverDb,
                   QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (n text)").arg(bareTable));
    double intake[2][2] = {};
    for (int kind = 0; kind < 2; ++kind) {
        const Register& reg = *registers[kind];
        std::vector<std::unique_ptr<QTemporaryDir>> targets;
        const auto [ours, bare] = medianMsInTurns(
            [&] { (void)Intake::runBatch(reg, files, details); },
            [&] {
                targets.push_back(
                    std::make_unique<QTemporaryDir>(intakeRoot + QStringLiteral("/bare-XXXXXX")));
                const QString target = targets.back()->path();
                if (kind == 1)
                    return bareSqliteIntake(small, target);
                bareIntake(small, target, [&] {
                    (void)Sql::run(serverDb,
                                   QStringLiteral("INSERT INTO %1 VALUES ('x')").arg(bareTable));
                });
            },
            runs, [&] { removeAddedRecords(reg, count); });
        intake[kind][0] = ours;
        intake[kind][1] = bare;
    }
    (void)Sql::run(serverDb, QStringLiteral("DROP TABLE %1").arg(bareTable));
    row("intake: 1,000 files of 10 KiB", intake[0][0], intake[1][0], "");
    printBenchRow("server intake / its bare limit", 1000, intake[0][0], intake[0][1],
                  "copy+fsync+insert; <= 1.5x");
    printBenchRow("SQLite intake / its bare limit", 1000, intake[1][0], intake[1][1],
                  "copy+fsync+insert; <= 1.5x");
    return 0;
}
