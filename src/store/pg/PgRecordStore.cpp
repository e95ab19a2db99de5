#include "store/pg/PgRecordStore.h"

#include "store/RegisterNames.h"
#include "store/pg/PgConnection.h"
#include "store/pg/PgSchema.h"
#include "store/pg/PgSql.h"
#include "store/sql/Sql.h"
#include "store/view/SearchIndexes.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <limits>

namespace {

QString id(const QString& name)
{
    return Sql::identifier(name);
}

} // namespace

// Writers take turns for the next serial: the lock lasts until their
// transaction ends, so the next one reads the serial this one inserted. A
// write transaction holds the write lock already, which every writer takes.
Result<qint64> PgRecordStore::nextSerial()
{
    const QSqlDatabase db = this->db();
    if (!PgConnection::writing(db)) {
        if (Result<QVariant> locked = Sql::scalar(
                db, QStringLiteral("SELECT pg_advisory_xact_lock(?)"), {PgSql::serialLock});
            !locked)
            return locked.error();
    }
    Result<QVariant> highest =
        Sql::scalar(db, QStringLiteral("SELECT max(%1) FROM %2")
                            .arg(id(RegisterNames::serial), id(RegisterNames::recordTable)));
    if (!highest)
        return highest.error();
    if (highest->isNull())
        return qint64(1);
    const qint64 value = highest->toLongLong();
    if (value == std::numeric_limits<qint64>::max())
        return noSerialAfter(value);
    return value + 1;
}

// The server looks after its own files; what the program can check is that
// every table of the register reads through (full) or answers at all, and
// that the value counts agree with the records.
Result<QStringList> PgRecordStore::databaseFaults(bool full)
{
    QStringList problems;
    const QStringList tables = {RegisterNames::recordTable, RegisterNames::queryTable,
                                ContentHash::table, RecycleBin::table, SearchIndexes::valueTable};
    for (const QString& table : tables) {
        Result<QVariant> read =
            Sql::scalar(db(), full ? QStringLiteral("SELECT count(*) FROM %1").arg(id(table))
                                   : QStringLiteral("SELECT 1 FROM %1 LIMIT 1").arg(id(table)));
        if (!read) {
            if (Sql::isBusy(read.error()))
                return read.error();
            problems << read.error().detail;
        }
    }
    if (!full || !problems.isEmpty())
        return problems;
    const QString counted =
        QStringLiteral("SELECT count(*) FROM (SELECT %1 AS value, count(*) AS n FROM %2 WHERE %1 "
                       "IS NOT NULL GROUP BY %1) AS r LEFT JOIN %3 AS v ON v.%4 = ?::text AND "
                       "v.%5 = r.value WHERE v.%6 IS DISTINCT FROM r.n");
    for (const RecordFields::Field& field : RecordFields::all()) {
        if (!field.counted)
            continue;
        const QString& column = field.column;
        Result<QVariant> wrong =
            Sql::scalar(db(),
                        counted.arg(id(column), id(RegisterNames::recordTable),
                                    id(SearchIndexes::valueTable), SearchIndexes::fieldColumn,
                                    SearchIndexes::valueColumn, SearchIndexes::countColumn),
                        {column});
        if (!wrong)
            return wrong.error();
        if (wrong->toLongLong() != 0)
            problems << QStringLiteral("“%1”的取值计数与记录不符（%2 个值）")
                            .arg(column)
                            .arg(wrong->toLongLong());
    }
    return problems;
}

Result<qint64> PgRecordStore::changeCounter()
{
    // The server tells every listening connection of each commit that changed
    // records, saved queries or the bin; those that came from this very
    // connection are its own. The count lives with the connection's driver,
    // which delivers the notices on the thread that owns it.
    QSqlDriver* driver = db().driver();
    if (!driver)
        return Error{QStringLiteral("无法连接登记库。"), QString()};
    static const char* const counted = "quorvelChangesSeen";
    if (!driver->property(counted).isValid()) {
        if (!driver->subscribeToNotification(PgSchema::changeChannel))
            return PgSql::errorFrom(driver->lastError(), PgSchema::changeChannel);
        driver->setProperty(counted, qint64(0));
        QObject::connect(
            driver, &QSqlDriver::notification, driver,
            [driver](const QString&, QSqlDriver::NotificationSource source, const QVariant&) {
                if (source == QSqlDriver::OtherSource)
                    driver->setProperty(counted, driver->property(counted).toLongLong() + 1);
            });
    }
    return driver->property(counted).toLongLong();
}
