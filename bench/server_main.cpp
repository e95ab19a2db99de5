// A register on a PostgreSQL server beside the same records in an SQLite
// register: writing, views, searches and streaming, each timed on both in
// one run. Usage: quorvel-bench-server URL [records], URL naming an empty
// database (postgresql://user@host/db?store=/folder).

#include "BenchTable.h"

#include "browser/CombinedSearch.h"
#include "store/RecordStore.h"
#include "store/Register.h"
#include "store/ViewCursor.h"
#include "store/ViewRst.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace {

const QStringList folders = {QStringLiteral("合同"), QStringLiteral("报告"),
                             QStringLiteral("Invoices"), QStringLiteral("杂项")};

NewRecord recordNumber(qint64 serial)
{
    NewRecord record;
    record.serial = serial;
    record.date = QDate(2020, 1, 1).addDays(serial % 1500);
    record.fileName = QStringLiteral("Report %1 %2.docx").arg(serial % 977).arg(serial);
    record.storedName = QStringLiteral("copy-%1.docx").arg(serial);
    record.remark = serial % 10 == 0 ? QStringLiteral("budget review") : QString();
    record.recipient = QStringLiteral("Person %1").arg(serial % 50);
    record.method = QStringLiteral("邮件");
    record.folder = folders.at(int(serial % folders.size()));
    return record;
}

// Adds `count` records after `from`, `group` to a transaction; false on failure.
bool fill(const Register& reg, qint64 from, qint64 count, int group, bool askSerial)
{
    const std::unique_ptr<RecordStore> records = reg.records();
    for (qint64 done = 0; done < count;) {
        Result<std::unique_ptr<StoreTransaction>> write = records->beginWrite();
        if (!write)
            return false;
        for (int i = 0; i < group && done < count; ++i, ++done) {
            NewRecord record = recordNumber(from + done + 1);
            if (askSerial) {
                Result<qint64> serial = records->nextSerial();
                if (!serial)
                    return false;
                record.serial = serial.value();
            }
            if (!records->insert(record))
                return false;
        }
        if (!write.value()->commit())
            return false;
    }
    return true;
}

double millis(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

qint64 keysOf(const Register& reg, const SearchCriteria& criteria)
{
    const ViewCondition condition = CombinedSearch::build(criteria).condition;
    Result<QList<qint64>> keys = ViewRst::loadKeys(reg, condition);
    return keys ? keys->size() : -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 2) {
        std::fprintf(stderr, "usage: quorvel-bench-server URL [records]\n");
        return 2;
    }
    const int count = arguments.size() > 2 ? arguments.at(2).toInt() : 100000;
    QTemporaryDir folder;
    Result<Register> server = Register::open(arguments.at(1));
    Result<Register> local = Register::open(folder.path());
    if (!server || !local) {
        std::fprintf(stderr, "%s\n",
                     qPrintable((server ? local.error() : server.error()).fullText()));
        return 1;
    }
    const Register* registers[] = {&server.value(), &local.value()};
    double figures[2][7] = {};
    for (int kind = 0; kind < 2; ++kind) {
        const Register& reg = *registers[kind];
        double* f = figures[kind];
        f[0] = millis([&] { fill(reg, 0, count, 1000, false); });
        // Intake's own pattern: one record a transaction, serial asked for.
        f[1] = millis([&] { fill(reg, count, 200, 1, true); });
        f[2] = millis([&] { keysOf(reg, {}); });
        SearchCriteria name;
        name.fileName = QStringLiteral("report 12 ");
        f[3] = millis([&] { keysOf(reg, name); });
        SearchCriteria shortName;
        shortName.fileName = QStringLiteral("7.");
        f[4] = millis([&] { keysOf(reg, shortName); });
        SearchCriteria folderPart;
        folderPart.folder = QStringLiteral("voice");
        f[5] = millis([&] { keysOf(reg, folderPart); });
        f[6] = millis([&] {
            ViewCursor cursor(reg, {});
            while (cursor.next())
                static_cast<void>(cursor.utf8(RecordField::FileName));
        });
    }
    const char* works[] = {"server: fill, 1,000 a transaction", "server: 200 intakes, one each",
                           "server: all records, keys",         "server: name contains (trigram)",
                           "server: name contains 2 chars",     "server: folder contains",
                           "server: stream every record"};
    const int counts[] = {count, 200, count, count, count, count, count};
    for (int row = 0; row < 7; ++row)
        printBenchRow(works[row], counts[row], figures[0][row], figures[1][row],
                      "server ms / SQLite ms");
    return 0;
}
