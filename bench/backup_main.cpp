// quorvel-bench-backup [--runs 3] [--cache DIR] [--records 1000000] [--copies 20000]
// A backup's database part on the large register against a bare cp of the
// database file, and backups of a register with copies (the first, and one
// with no new copies) against a bare cp -r of its folder. Each figure is a
// median; ours and the limit take turns in one run.
#include "backup/Backup.h"
#include "store/Register.h"
#include "store/RegisterNames.h"
#include "store/sql/ContentHash.h"
#include "store/sqlite/Snapshot.h"

#include "BenchRegister.h"
#include "BenchTable.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

double timed(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

// cp, then sync: the bare way to get the same bytes onto the disk.
void bareCopy(const QStringList& arguments)
{
    if (QProcess::execute(QStringLiteral("cp"), arguments) != 0 ||
        QProcess::execute(QStringLiteral("sync"), {}) != 0)
        qFatal("cp failed");
}

// A register of `count` records, each with a stored copy of about 2 KiB and
// its recorded hash, as intake would leave it.
QString registerWithCopies(const QString& root, int count)
{
    const QString folder = BenchRegister::cached(root, count);
    const QString done = folder + QStringLiteral("/.copies");
    if (QFile::exists(done))
        return folder;
    Result<Register> reg = Register::open(folder, Register::Mode::MustExist);
    if (!reg)
        qFatal("%s", qPrintable(reg.error().fullText()));
    {
        QSqlDatabase db = reg->database();
        QSqlQuery rows(db);
        rows.exec(QStringLiteral("SELECT rowid, 路径 FROM 文件管理"));
        db.transaction();
        while (rows.next()) {
            const QByteArray content = rows.value(1).toString().toUtf8().repeated(64);
            QFile file(reg->storedCopyPath(rows.value(1).toString()));
            if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
                qFatal("cannot write a copy");
            ContentHash::Hasher hasher;
            hasher.add(content);
            if (!ContentHash::record(db, rows.value(0).toLongLong(), hasher.size(), hasher.hex()))
                qFatal("cannot record a hash");
        }
        db.commit();
    }
    reg->closeConnection();
    QFile(done).open(QIODevice::WriteOnly);
    return folder;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("runs"), QStringLiteral("runs per figure"),
                      QStringLiteral("N"), QStringLiteral("3")});
    parser.addOption({QStringLiteral("cache"), QStringLiteral("where registers are kept"),
                      QStringLiteral("DIR"), QStringLiteral("/tmp/quorvel-bench-backup")});
    parser.addOption({QStringLiteral("records"), QStringLiteral("records of the large register"),
                      QStringLiteral("N"), QStringLiteral("1000000")});
    parser.addOption({QStringLiteral("copies"), QStringLiteral("records with copies"),
                      QStringLiteral("N"), QStringLiteral("20000")});
    parser.addOption({QStringLiteral("no-copies"), QStringLiteral("only the database part")});
    parser.process(app);
    const int runs = std::max(1, parser.value(QStringLiteral("runs")).toInt());
    const QString root = parser.value(QStringLiteral("cache"));
    const int records = parser.value(QStringLiteral("records")).toInt();
    const int copies = parser.value(QStringLiteral("copies")).toInt();
    const QString work = root + QStringLiteral("/work");

    const QString large = BenchRegister::cached(root, records);
    Result<Register> reg = Register::open(large, Register::Mode::MustExist);
    if (large.isEmpty() || !reg)
        qFatal("no large register");
    QList<double> ours;
    QList<double> limit;
    for (int run = 0; run < runs; ++run) {
        QDir(work).removeRecursively();
        QDir().mkpath(work);
        ours << timed([&] {
            Result<std::unique_ptr<Snapshot>> snapshot = Snapshot::take(*reg);
            if (!snapshot || !snapshot.value()->writeTo(work + QStringLiteral("/snapshot.mdb")))
                qFatal("snapshot failed");
        });
        limit << timed([&] {
            bareCopy({reg->databasePath(), work + QStringLiteral("/bare.mdb")});
        });
    }
    reg->closeConnection();
    printBenchRow("backup: database part", records, median(ours), median(limit),
                  "cp + sync of the file");

    if (parser.isSet(QStringLiteral("no-copies")))
        return 0;
    const QString withCopies = registerWithCopies(root, copies);
    Result<Register> small = Register::open(withCopies, Register::Mode::MustExist);
    if (!small)
        qFatal("no register with copies");
    QList<double> first;
    QList<double> again;
    QList<double> bare;
    for (int run = 0; run < runs; ++run) {
        QDir(work).removeRecursively();
        QDir().mkpath(work);
        const QString dest = work + QStringLiteral("/backup");
        first << timed([&] {
            if (!Backup::run(*small, dest))
                qFatal("backup failed");
        });
        bare << timed([&] {
            bareCopy({QStringLiteral("-r"), withCopies, work + QStringLiteral("/bare")});
        });
        again << timed([&] {
            Result<Backup::Report> report = Backup::run(*small, dest);
            if (!report || report->copied != 0)
                qFatal("incremental backup copied again");
        });
    }
    small->closeConnection();
    printBenchRow("backup: first, with copies", copies, median(first), median(bare),
                  "cp -r + sync of the register; <= 2x");
    printBenchRow("backup: again, no new copies", copies, median(again), median(bare),
                  "cp -r + sync of the register; <= 0.5x");
    QDir(work).removeRecursively();
    return 0;
}
