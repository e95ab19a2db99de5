#include "store/RegisterNames.h"
#include "store/Sql.h"
#include "store/SqliteRecordStore.h"

#include <QSqlError>
#include <QSqlQuery>

// What the integrity check and intake read of the content-hash table, and
// what the check reads of the records and the database file.

Result<QList<ContentHash::SameContent>>
SqliteRecordStore::sameContent(qint64 size, const QString& hash, int limit)
{
    return ContentHash::recordsWithContent(db(), size, hash, limit);
}

Status SqliteRecordStore::recordDigest(qint64 identity, qint64 size, const QString& hash)
{
    return ContentHash::record(db(), identity, size, hash);
}

Result<QHash<qint64, RecordedDigest>> SqliteRecordStore::digests()
{
    const QString sql =
        QStringLiteral("SELECT %1, %2, %3, %4 FROM %5")
            .arg(Sql::identifier(ContentHash::recordColumn),
                 Sql::identifier(ContentHash::storedNameColumn),
                 Sql::identifier(ContentHash::sizeColumn), Sql::identifier(ContentHash::hashColumn),
                 Sql::identifier(ContentHash::table));
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

Result<QList<CheckedRecord>> SqliteRecordStore::recordsBySerial()
{
    const QString sql =
        QStringLiteral("SELECT rowid, %1, typeof(%1), %2, %3 FROM %4 ORDER BY %1, rowid")
            .arg(Sql::identifier(RegisterNames::serial), Sql::identifier(RegisterNames::fileName),
                 Sql::identifier(RegisterNames::storedName),
                 Sql::identifier(RegisterNames::recordTable));
    Result<QSqlQuery> query = Sql::run(db(), sql);
    if (!query)
        return query.error();
    QList<CheckedRecord> rows;
    while (query->next()) {
        const QString type = query->value(2).toString();
        rows.append({query->value(0).toLongLong(), query->value(1),
                     type == QLatin1String("integer") || type == QLatin1String("real"), type,
                     query->value(3).toString(), query->value(4)});
    }
    return rows;
}

// Quick (pages and records) or full (every index against its table as well).
Result<QStringList> SqliteRecordStore::databaseFaults(bool full)
{
    const QString pragma = full ? QStringLiteral("PRAGMA integrity_check(20)")
                                : QStringLiteral("PRAGMA quick_check(20)");
    QStringList problems;
    Result<QSqlQuery> query = Sql::run(db(), pragma);
    if (!query) {
        if (Sql::isBusy(query.error()))
            return query.error();
        problems << query.error().detail;
    } else {
        while (query->next()) {
            const QString line = query->value(0).toString();
            if (line != QLatin1String("ok"))
                problems << line;
        }
        if (query->lastError().isValid())
            problems << query->lastError().text();
    }
    return problems;
}
