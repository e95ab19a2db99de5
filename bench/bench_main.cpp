// quorvel-bench [--sizes 10000,100000,1000000] [--runs 5] [--cache DIR]
// Prints one table: each figure beside its bare limit measured in the same
// run, and the ratio between them. Medians of several runs.
#include "BenchRegister.h"

#include "browser/CombinedSearch.h"
#include "store/Register.h"
#include "store/RegisterNames.h"
#include "store/Sql.h"
#include "store/ViewRst.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSqlQuery>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <sqlite3.h>

namespace {

double medianMs(const std::function<void()>& work, int runs)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The same statement stepped to the end on a bare connection.
class Bare {
public:
    explicit Bare(const QString& databasePath)
    {
        sqlite3_open_v2(QFile::encodeName(databasePath).constData(), &m_db, SQLITE_OPEN_READONLY,
                        nullptr);
    }
    ~Bare() { sqlite3_close(m_db); }

    qint64 run(const QString& sql, const QStringList& texts = {})
    {
        sqlite3_stmt* statement = nullptr;
        const QByteArray utf8 = sql.toUtf8();
        sqlite3_prepare_v2(m_db, utf8.constData(), -1, &statement, nullptr);
        QList<QByteArray> keep;
        for (int i = 0; i < texts.size(); ++i) {
            keep << texts.at(i).toUtf8();
            sqlite3_bind_text(statement, i + 1, keep.last().constData(), int(keep.last().size()),
                              SQLITE_STATIC);
        }
        qint64 sum = 0;
        while (sqlite3_step(statement) == SQLITE_ROW)
            sum += sqlite3_column_int64(statement, 0);
        sqlite3_finalize(statement);
        return sum;
    }

private:
    sqlite3* m_db = nullptr;
};

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return 0;
}

void row(const char* work, int count, double ours, double bare, const char* limit)
{
    std::printf("| %-44s | %9d | %10.2f | %10.2f | %6.2f | %-28s |\n", work, count, ours, bare,
                bare > 0 ? ours / bare : 0.0, limit);
    std::fflush(stdout);
}

void showView(const Register& reg, const ViewCondition& condition)
{
    Result<std::shared_ptr<ViewRst>> view = ViewRst::open(reg, condition);
    for (int position = 1; position <= 50; ++position)
        (void)view.value()->record(position);
}

QString bareKeys(const QString& where)
{
    return QStringLiteral("SELECT rowid FROM 文件管理 %1 ORDER BY 文件序号, rowid").arg(where);
}

void benchSize(const QString& cacheRoot, int count, int runs)
{
    const QString folder = BenchRegister::cached(cacheRoot, count);
    Result<Register> reg = Register::open(folder);
    if (!reg) {
        std::fprintf(stderr, "%s\n", qPrintable(reg.error().fullText()));
        return;
    }
    Bare bare(reg->databasePath());
    const QString firstPage =
        QStringLiteral("SELECT rowid, 文件名, 备注 FROM 文件管理 WHERE rowid IN (SELECT rowid FROM "
                       "文件管理 ORDER BY 文件序号 LIMIT 50)");

    row("all records: keys + first screen", count, medianMs([&] { showView(*reg, {}); }, runs),
        medianMs(
            [&] {
                bare.run(bareKeys({}));
                bare.run(firstPage);
            },
            runs),
        "bare keyset + page");

    ViewCondition folderView{QStringLiteral("文件夹 = ?"), {QStringLiteral("报告资料")}};
    row("folder view: keys + first screen", count,
        medianMs([&] { showView(*reg, folderView); }, runs),
        medianMs(
            [&] {
                bare.run(bareKeys(QStringLiteral("WHERE 文件夹 = ?")),
                         {QStringLiteral("报告资料")});
            },
            runs),
        "bare keyset");

    Result<std::shared_ptr<ViewRst>> all = ViewRst::open(*reg, {});
    QRandomGenerator random(7);
    row("scroll: one screen at a random place", count,
        medianMs(
            [&] {
                all.value()->invalidateAll();
                const int start = random.bounded(std::max(1, count - 60)) + 1;
                for (int position = start; position < start + 50; ++position)
                    (void)all.value()->record(position);
            },
            runs),
        medianMs(
            [&] {
                const int start = random.bounded(std::max(1, count - 60)) + 1;
                bare.run(
                    QStringLiteral(
                        "SELECT rowid, 文件名 FROM 文件管理 ORDER BY 文件序号 LIMIT 50 OFFSET %1")
                        .arg(start));
            },
            runs),
        "bare OFFSET page");

    auto search = [&](const char* label, SearchCriteria criteria, const QString& bareWhere,
                      const QString& bareText) {
        row(label, count,
            medianMs(
                [&] {
                    SearchCriteria copy = criteria;
                    showView(*reg, CombinedSearch::SqlMade(copy));
                },
                runs),
            medianMs([&] { bare.run(bareKeys(bareWhere), {bareText}); }, runs), "bare LIKE scan");
    };
    SearchCriteria name;
    name.fileName = QStringLiteral("会议纪");
    search("search: name, 3 characters", name, QStringLiteral("WHERE 文件名 LIKE ?"),
           QStringLiteral("%会议纪%"));
    SearchCriteria shortName;
    shortName.fileName = QStringLiteral("报");
    search("search: name, 1 character", shortName, QStringLiteral("WHERE 文件名 LIKE ?"),
           QStringLiteral("%报%"));
    SearchCriteria remark;
    remark.remark = QStringLiteral("预算总结");
    search("search: remark, 4 characters", remark, QStringLiteral("WHERE 备注 LIKE ?"),
           QStringLiteral("%预算总结%"));
    SearchCriteria recipient;
    recipient.recipient = QStringLiteral("张");
    search("search: recipient, 1 character", recipient, QStringLiteral("WHERE 接收人 LIKE ?"),
           QStringLiteral("%张%"));

    const QString folderMenu =
        QStringLiteral("SELECT 文件夹, count(发件日期) FROM 文件管理 WHERE 文件夹 <> '' "
                       "GROUP BY 文件夹 ORDER BY 2 DESC");
    row("folder menu query", count,
        medianMs(
            [&] {
                Result<QSqlQuery> query = Sql::run(reg->database(), folderMenu);
                while (query->next()) {
                }
            },
            runs),
        medianMs([&] { bare.run(folderMenu); }, runs), "bare GROUP BY");

    const long before = residentKiB();
    {
        Result<std::shared_ptr<ViewRst>> held = ViewRst::open(*reg, {});
        for (int position = 1; position <= 50; ++position)
            (void)held.value()->record(position);
        row("memory: all-records view open (MiB)", count, residentKiB() / 1024.0, before / 1024.0,
            "process before opening");
    }
    reg->closeConnection();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("sizes"), QStringLiteral("record counts"),
                      QStringLiteral("LIST"), QStringLiteral("10000,100000,1000000")});
    parser.addOption({QStringLiteral("runs"), QStringLiteral("runs per figure"),
                      QStringLiteral("N"), QStringLiteral("5")});
    parser.addOption({QStringLiteral("cache"), QStringLiteral("where generated registers are kept"),
                      QStringLiteral("DIR"), QStringLiteral("/tmp/quorvel-bench")});
    parser.process(app);

    std::printf("| %-44s | %9s | %10s | %10s | %6s | %-28s |\n", "work", "records", "ours ms",
                "limit ms", "ratio", "limit");
    std::printf("|%s|%s|%s|%s|%s|%s|\n", QByteArray(46, '-').constData(),
                QByteArray(11, '-').constData(), QByteArray(12, '-').constData(),
                QByteArray(12, '-').constData(), QByteArray(8, '-').constData(),
                QByteArray(30, '-').constData());
    for (const QString& size : parser.value(QStringLiteral("sizes")).split(QLatin1Char(',')))
        benchSize(parser.value(QStringLiteral("cache")), size.toInt(),
                  parser.value(QStringLiteral("runs")).toInt());
    return 0;
}
