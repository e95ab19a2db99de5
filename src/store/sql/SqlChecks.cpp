#include "store/RegisterNames.h"
#include "store/sql/Sql.h"
#include "store/sql/SqlRecordStore.h"

#include <QSqlQuery>

// What the integrity check and intake read of the content-hash table, and
// what the check reads of the records.

Result<QList<ContentHash::SameContent>> SqlRecordStore::sameContent(qint64 size,
                                                                    const QString& hash, int limit)
{
    return ContentHash::recordsWithContent(db(), size, hash, limit);
}

Status SqlRecordStore::recordDigest(qint64 identity, qint64 size, const QString& hash)
{
    return ContentHash::record(db(), identity, size, hash);
}

Result<QHash<qint64, RecordedDigest>> SqlRecordStore::digests()
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

Result<QList<CheckedRecord>> SqlRecordStore::recordsBySerial()
{
    const QString serial = Sql::identifier(RegisterNames::serial);
    const QString sql =
        QStringLiteral("SELECT %1, %2, %3, %4, %5 FROM %6 ORDER BY %2%7, %1")
            .arg(m_dialect.identity(), serial, m_dialect.typeOf(serial),
                 Sql::identifier(RegisterNames::fileName),
                 Sql::identifier(RegisterNames::storedName),
                 Sql::identifier(RegisterNames::recordTable), m_dialect.nullsFirst());
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
