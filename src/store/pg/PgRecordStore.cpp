#include "store/pg/PgRecordStore.h"

#include "store/Audit.h"
#include "store/RegisterNames.h"
#include "store/pg/PgConnection.h"
#include "store/pg/PgSchema.h"
#include "store/pg/PgSql.h"
#include "store/sql/Sql.h"
#include "store/view/SearchIndexes.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
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

// Every record of an intake group in two statements, not four apiece: each
// statement is a round trip to the server.
Result<QList<AddedRecord>> PgRecordStore::addRecords(const QList<DigestedRecord>& records,
                                                     int sameLimit)
{
    if (records.isEmpty())
        return QList<AddedRecord>();
    Result<qint64> first = nextSerial();
    if (!first)
        return first.error();
    if (*first > std::numeric_limits<qint64>::max() - (records.size() - 1))
        return noSerialAfter(*first - 1);
    Result<QList<QList<ContentHash::SameContent>>> registered =
        registeredContents(records, sameLimit);
    if (!registered)
        return registered.error();
    Result<QList<qint64>> identities = insertNumbered(records, *first);
    if (!identities)
        return identities.error();
    // The records of this group come after every earlier one by identity and
    // by serial, so they follow those already there, as they would have
    // been found one insert at a time.
    QList<AddedRecord> added;
    for (qsizetype k = 0; k < records.size(); ++k) {
        QList<ContentHash::SameContent> same = registered->at(k);
        const DigestedRecord& digested = records.at(k);
        for (qsizetype j = 0; j < k && same.size() < sameLimit; ++j) {
            const DigestedRecord& earlier = records.at(j);
            if (earlier.size == digested.size && earlier.hash == digested.hash.toLower())
                same.append({identities->at(j), *first + j, earlier.record.fileName,
                             earlier.record.storedName});
        }
        added.append({identities->at(k), *first + k, same});
    }
    return added;
}

Result<QList<QList<ContentHash::SameContent>>>
PgRecordStore::registeredContents(const QList<DigestedRecord>& records, int sameLimit)
{
    using namespace RegisterNames;
    // Each content asked once, however many of the group share it.
    QList<QPair<qint64, QString>> contents;
    QList<qsizetype> contentOf;
    QStringList rows;
    QVariantList values;
    for (const DigestedRecord& digested : records) {
        const QPair<qint64, QString> content{digested.size, digested.hash.toLower()};
        qsizetype at = contents.indexOf(content);
        if (at < 0) {
            at = contents.size();
            contents << content;
            rows << QStringLiteral("(?::bigint, ?::text, ?::bigint)");
            values << at << content.second << content.first;
        }
        contentOf << at;
    }
    values << sameLimit;
    const QString sql =
        QStringLiteral(
            "SELECT q.k, f.* FROM (VALUES %1) AS q(k, h, s) CROSS JOIN LATERAL (SELECT r.%2 AS i, "
            "r.%3 AS n, r.%4 AS f, r.%5 AS p FROM %6 d JOIN %7 r ON r.%2 = d.%8 WHERE d.%9 = q.h "
            "AND d.%10 = q.s AND r.%5 IS NOT DISTINCT FROM d.%11 ORDER BY d.%8 LIMIT ?::int) AS f "
            "ORDER BY q.k, f.n NULLS FIRST, f.i")
            .arg(rows.join(QStringLiteral(", ")), id(identity), id(serial), id(fileName),
                 id(storedName), id(ContentHash::table), id(recordTable),
                 id(ContentHash::recordColumn), id(ContentHash::hashColumn))
            .arg(id(ContentHash::sizeColumn), id(ContentHash::storedNameColumn));
    Result<QSqlQuery> query = Sql::run(db(), sql, values);
    if (!query)
        return query.error();
    QList<QList<ContentHash::SameContent>> found(contents.size());
    while (query->next()) {
        found[query->value(0).toLongLong()].append({query->value(1).toLongLong(), query->value(2),
                                                    query->value(3).toString(),
                                                    query->value(4).toString()});
    }
    QList<QList<ContentHash::SameContent>> perRecord;
    for (const qsizetype at : contentOf)
        perRecord << found.at(at);
    return perRecord;
}

Result<QList<qint64>> PgRecordStore::insertNumbered(const QList<DigestedRecord>& records,
                                                    qint64 firstSerial)
{
    using namespace RegisterNames;
    QStringList columns;
    QStringList marks;
    for (const QString& column : RecordFields::columns()) {
        columns << id(column);
        marks << (column == serial ? QStringLiteral("?::bigint") : QStringLiteral("?::text"));
    }
    const QString row = QStringLiteral("(?::bigint, %1, ?::bigint, ?::text, ?::text, ?::text)")
                            .arg(marks.join(QStringLiteral(", ")));
    QStringList rows;
    QVariantList values;
    for (qsizetype k = 0; k < records.size(); ++k) {
        NewRecord record = records.at(k).record;
        record.serial = firstSerial + k;
        const QVariantList stored = RecordFields::storedValues(record);
        values << k << stored << records.at(k).size << records.at(k).hash << Audit::now()
               << Audit::encode(Audit::present(Audit::recordValues(stored)));
        rows << row;
    }
    values << Audit::userName() << Audit::added << Audit::encode({});
    const QString allColumns = columns.join(QStringLiteral(", "));
    const QString sql =
        QStringLiteral(
            "WITH v (k, %1, sz, hs, tm, nw) AS (VALUES %2), "
            "ins AS (INSERT INTO %3 (%1) SELECT %1 FROM v ORDER BY k RETURNING %4, %5, %6), "
            "hist AS (INSERT INTO %7 (%8, %9, %10, %11, %12, %13) SELECT v.tm, ?::text, ?::text, "
            "ins.%4, ?::text, v.nw FROM ins JOIN v ON v.%5 = ins.%5 ORDER BY v.k), "
            "dig AS (%14) "
            "SELECT ins.%5, ins.%4 FROM ins")
            .arg(allColumns, rows.join(QStringLiteral(", ")), id(recordTable), id(identity),
                 id(serial), id(storedName), id(Audit::table), id(Audit::timeColumn),
                 id(Audit::userColumn))
            .arg(id(Audit::actionColumn), id(Audit::identityColumn), id(Audit::oldColumn),
                 id(Audit::newColumn),
                 dialect().upsert(ContentHash::table,
                                  {ContentHash::recordColumn, ContentHash::storedNameColumn,
                                   ContentHash::sizeColumn, ContentHash::hashColumn},
                                  QStringLiteral("SELECT ins.%1, ins.%2, v.sz, v.hs FROM ins JOIN "
                                                 "v ON v.%3 = ins.%3")
                                      .arg(id(identity), id(storedName), id(serial))));
    Result<QSqlQuery> query = Sql::run(db(), sql, values);
    if (!query)
        return query.error();
    // A trigger may skip or renumber a record: then it cannot be told apart.
    QList<qint64> identities(records.size(), 0);
    qsizetype named = 0;
    while (query->next()) {
        const qint64 k = query->value(0).toLongLong() - firstSerial;
        if (k < 0 || k >= records.size() || identities[k] != 0)
            break;
        identities[k] = query->value(1).toLongLong();
        ++named;
    }
    if (named != records.size()) {
        const qsizetype missing = identities.indexOf(0);
        return Error{notAppliedText, records.at(std::max<qsizetype>(missing, 0)).record.fileName,
                     ErrorCode::Changed};
    }
    return identities;
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
