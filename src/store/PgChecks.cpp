#include "store/PgRecordStore.h"

#include "store/ContentHash.h"
#include "store/PgSql.h"
#include "store/RecycleBin.h"
#include "store/RegisterNames.h"
#include "store/SearchIndexes.h"
#include "store/Sql.h"

#include <QSqlQuery>

// What intake and the integrity check read of the content-hash table, and
// what the check reads of the records and the database on a server.

namespace {

using Sql::identifier;

QString id(const QString& name)
{
    return identifier(name);
}

} // namespace

Result<QList<ContentHash::SameContent>> PgRecordStore::sameContent(qint64 size, const QString& hash,
                                                                   int limit)
{
    using namespace ContentHash;
    const QString sql =
        QStringLiteral("SELECT * FROM (SELECT r.%10, r.%1, r.%2, r.%3 FROM %4 h "
                       "JOIN %5 r ON r.%10 = h.%6 WHERE h.%7 = ?::text AND h.%8 = ?::bigint "
                       "AND r.%3 IS NOT DISTINCT FROM h.%9 ORDER BY h.%6 LIMIT ?::int) AS found "
                       "ORDER BY 2 NULLS FIRST, 1")
            .arg(id(RegisterNames::serial), id(RegisterNames::fileName),
                 id(RegisterNames::storedName), id(table), id(RegisterNames::recordTable),
                 id(recordColumn), id(hashColumn), id(sizeColumn), id(storedNameColumn))
            .arg(id(RegisterNames::identity));
    Result<QSqlQuery> query = Sql::run(db(), sql, {hash.toLower(), size, limit});
    if (!query)
        return query.error();
    QList<SameContent> found;
    while (query->next()) {
        found.append({query->value(0).toLongLong(), query->value(1), query->value(2).toString(),
                      query->value(3).toString()});
    }
    return found;
}

// The stored name is taken from the record itself, so the digest is tied to
// the copy it describes.
Status PgRecordStore::recordDigest(qint64 identity, qint64 size, const QString& hash)
{
    using namespace ContentHash;
    const QString sql =
        QStringLiteral("INSERT INTO %1 (%2, %3, %4, %5) SELECT %8, %6, ?::bigint, ?::text "
                       "FROM %7 WHERE %8 = ? ON CONFLICT (%2) DO UPDATE SET %3 = excluded.%3, "
                       "%4 = excluded.%4, %5 = excluded.%5")
            .arg(id(table), id(recordColumn), id(storedNameColumn), id(sizeColumn), id(hashColumn),
                 id(RegisterNames::storedName), id(RegisterNames::recordTable),
                 id(RegisterNames::identity));
    Result<QSqlQuery> query = Sql::run(db(), sql, {size, hash, identity});
    if (!query)
        return query.error();
    if (query->numRowsAffected() != 1) {
        return Error{QStringLiteral("无法记录校验值：记录不存在。"),
                     QStringLiteral("identity %1").arg(identity)};
    }
    return {};
}

Result<QHash<qint64, RecordedDigest>> PgRecordStore::digests()
{
    using namespace ContentHash;
    const QString sql =
        QStringLiteral("SELECT %1, %2, %3, %4 FROM %5")
            .arg(id(recordColumn), id(storedNameColumn), id(sizeColumn), id(hashColumn), id(table));
    Result<QSqlQuery> query = Sql::run(db(), sql);
    if (!query)
        return query.error();
    QHash<qint64, RecordedDigest> digests;
    while (query->next()) {
        digests.insert(
            query->value(0).toLongLong(),
            {query->value(1).toString(), query->value(2).toLongLong(), query->value(3).toString()});
    }
    return digests;
}

// The serial column holds only numbers here; an empty one reads as "null",
// as SQLite's typeof() names it.
Result<QList<CheckedRecord>> PgRecordStore::recordsBySerial()
{
    const QString sql = QStringLiteral("SELECT %4, %1, %2, %3 FROM %5 ORDER BY %1 NULLS FIRST, %4")
                            .arg(id(RegisterNames::serial), id(RegisterNames::fileName),
                                 id(RegisterNames::storedName), id(RegisterNames::identity),
                                 id(RegisterNames::recordTable));
    Result<QSqlQuery> query = Sql::run(db(), sql);
    if (!query)
        return query.error();
    QList<CheckedRecord> rows;
    while (query->next()) {
        const bool number = !query->value(1).isNull();
        rows.append({query->value(0).toLongLong(), query->value(1), number,
                     number ? QStringLiteral("integer") : QStringLiteral("null"),
                     query->value(2).toString(), query->value(3)});
    }
    return rows;
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
    for (const QString& column :
         {RegisterNames::recipient, RegisterNames::method, RegisterNames::folder}) {
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
