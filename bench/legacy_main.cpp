// quorvel-bench-legacy [--runs 3] [--cache DIR] [--no-import]
// Converting the 20,000-record old register in place, against its limit of
// 5 s, and importing it into an empty register, against registering the
// same files with add (limit: twice that). Medians of several runs.
#include "intake/Intake.h"
#include "legacy/LegacyConversion.h"
#include "legacy/LegacyImport.h"
#include "store/Register.h"
#include "store/RegisterNames.h"

#include "BenchTable.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <sys/resource.h>

namespace {

constexpr int records = 20000;

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

// CPU time of this process so far (user and system), in ms: on a shared
// machine the wall time also counts the waits for a core.
double cpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double timed(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

// The old register with every copy present: 文件<i>.txt holding "<i>\n".
QString prepareStore(const QString& root)
{
    const QString store = root + QStringLiteral("/store/") + RegisterNames::storeFolder;
    QDir().mkpath(store);
    for (int i = 1; i <= records; ++i) {
        QFile file(store + QStringLiteral("/文件%1.txt").arg(i));
        if (file.exists())
            continue;
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(file.fileName()));
        file.write(QByteArray::number(i) + '\n');
    }
    return root + QStringLiteral("/store");
}

// A fresh copy of the old database beside the store.
void freshOldDatabase(const QString& folder)
{
    const QDir dir(folder);
    for (const QString& name : dir.entryList({QStringLiteral("文件管理*")}, QDir::Files))
        QFile::remove(dir.filePath(name));
    if (!QFile::copy(QStringLiteral(QUORVEL_LEGACY_LARGE),
                     dir.filePath(RegisterNames::databaseFile)))
        qFatal("cannot copy the old database");
    QFile::setPermissions(dir.filePath(RegisterNames::databaseFile),
                          QFile::ReadOwner | QFile::WriteOwner);
}

Register emptyRegister(const QString& folder)
{
    QDir(folder).removeRecursively();
    Result<Register> reg = Register::open(folder);
    if (!reg)
        qFatal("%s", qPrintable(reg.error().fullText()));
    return reg.value();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    // The old file is read by the reader program of this build.
    if (qEnvironmentVariableIsEmpty("QUORVEL_LEGACY_READER"))
        qputenv("QUORVEL_LEGACY_READER", QUORVEL_LEGACY_READER);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("runs"), QStringLiteral("runs per figure"),
                      QStringLiteral("N"), QStringLiteral("3")});
    parser.addOption({QStringLiteral("cache"), QStringLiteral("where the old register is kept"),
                      QStringLiteral("DIR"), QStringLiteral("/tmp/quorvel-bench/legacy")});
    parser.addOption({QStringLiteral("no-import"), QStringLiteral("skip the import figure")});
    parser.process(app);
    const int runs = std::max(1, parser.value(QStringLiteral("runs")).toInt());
    const QString root = parser.value(QStringLiteral("cache"));
    const QString old = prepareStore(root);

    QList<double> conversions;
    QList<double> conversionCpu;
    for (int run = 0; run < runs; ++run) {
        freshOldDatabase(old);
        const double cpuBefore = cpuMs();
        conversions << timed([&] {
            Result<Legacy::Report> report = LegacyConversion::convert(old, false);
            if (!report || report->records != records || report->lostSomething())
                qFatal("conversion failed");
        });
        conversionCpu << cpuMs() - cpuBefore;
    }
    printBenchRow("convert old register in place (copies there)", records, median(conversions),
                  5000, "fixed; <= 5000 ms");
    printBenchRow("convert in place, CPU time (user + system)", records, median(conversionCpu),
                  5000, "fixed; <= 5000 ms");
    if (parser.isSet(QStringLiteral("no-import")))
        return 0;

    // The same files through add, one batch with shared details.
    freshOldDatabase(old);
    QList<Intake::File> files;
    for (int i = 1; i <= records; ++i)
        files << Intake::File::fromPath(old + QLatin1Char('/') + RegisterNames::storeFolder +
                                        QStringLiteral("/文件%1.txt").arg(i));
    Intake::Details details;
    details.date = QDate(2005, 1, 2);
    QList<double> imports;
    QList<double> adds;
    for (int run = 0; run < runs; ++run) {
        const Register added = emptyRegister(root + QStringLiteral("/added"));
        adds << timed([&] { Intake::runBatch(added, files, details); });
        added.closeConnection();
        const Register imported = emptyRegister(root + QStringLiteral("/imported"));
        imports << timed([&] {
            Result<Legacy::Report> report = LegacyImport::run(imported, old);
            if (!report || report->records != records)
                qFatal("import failed");
        });
        imported.closeConnection();
    }
    printBenchRow("import old register (20,000 files)", records, median(imports), 2 * median(adds),
                  "2x add of the same files");
    return 0;
}
