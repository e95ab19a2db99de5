#include "content/ContentQueue.h"

#include "content/ContentStore.h"
#include "store/RecordStore.h"
#include "store/RecycleBin.h"
#include "store/RegisterNames.h"
#include "store/StoreTransaction.h"
#include "store/content/ContentIndex.h"
#include "store/sql/ContentHash.h"
#include "store/sql/Sql.h"
#include "store/sql/SqlDialect.h"

namespace ContentQueue {

namespace {

using Sql::identifier;
using State = ContentIndex::State;

QString contents()
{
    return identifier(ContentIndex::table);
}

} // namespace

// Runs `work` in one write transaction of the register.
Status written(const Register& reg, const std::function<Status(const QSqlDatabase&)>& work)
{
    const std::unique_ptr<RecordStore> records = reg.records();
    Result<std::unique_ptr<StoreTransaction>> transaction = records->beginWrite();
    if (!transaction)
        return transaction.error();
    if (Status done = work(reg.database()); !done)
        return done;
    return transaction.value()->commit();
}

namespace {

// The contents some record or bin entry still has.
QString inUse()
{
    return QStringLiteral("SELECT %1 FROM %2 UNION SELECT %3 FROM %4 WHERE %3 IS NOT NULL")
        .arg(identifier(ContentHash::hashColumn), identifier(ContentHash::table),
             identifier(RecycleBin::hashColumn), identifier(RecycleBin::table));
}

} // namespace

Result<Counts> counts(const Register& reg)
{
    using namespace ContentIndex;
    Result<QSqlQuery> rows = Sql::run(
        reg.database(), QStringLiteral("SELECT %1, count(*), coalesce(sum(length(%2)), 0) FROM "
                                       "%3 GROUP BY %1")
                            .arg(identifier(stateColumn), identifier(textColumn), contents()));
    if (!rows)
        return rows.error();
    Counts counts;
    while (rows->next()) {
        const qint64 number = rows->value(1).toLongLong();
        switch (State(rows->value(0).toInt())) {
        case State::Waiting:
            counts.waiting += number;
            break;
        case State::Read:
            counts.read += number;
            break;
        case State::WaitingForOcr:
            counts.waitingForOcr += number;
            break;
        case State::Skipped:
            counts.skipped += number;
            break;
        case State::NotRead:
            counts.notRead += number;
            break;
        }
        counts.textCharacters += rows->value(2).toLongLong();
    }
    return counts;
}

Result<QList<Skip>> skips(const Register& reg, int limit)
{
    using namespace ContentIndex;
    const QSqlDatabase db = reg.database();
    const SqlDialect& dialect = SqlDialect::of(db);
    const QString sql =
        QStringLiteral("SELECT c.%1, (SELECT r.%2 FROM %3 h JOIN %4 r ON %5 = h.%6 WHERE h.%7 = "
                       "c.%1 ORDER BY h.%6 LIMIT 1), c.%8 FROM %9 c WHERE c.%10 = %11 ORDER BY "
                       "c.%12 LIMIT %13")
            .arg(identifier(hashColumn), identifier(RegisterNames::fileName),
                 identifier(ContentHash::table), identifier(RegisterNames::recordTable),
                 dialect.identity(QStringLiteral("r.")), identifier(ContentHash::recordColumn),
                 identifier(ContentHash::hashColumn), identifier(reasonColumn), contents())
            .arg(identifier(stateColumn), QString::number(int(State::Skipped)),
                 identifier(numberColumn), dialect.count());
    Result<QSqlQuery> rows = Sql::run(db, sql, {limit});
    if (!rows)
        return rows.error();
    QList<Skip> list;
    while (rows->next())
        list.append(
            {rows->value(0).toString(), rows->value(1).toString(), rows->value(2).toString()});
    return list;
}

Result<bool> ocrEnabled(const Register& reg)
{
    Result<QVariant> value = Sql::scalar(reg.database(),
                                         QStringLiteral("SELECT 值 FROM %1 WHERE 名称 = ?")
                                             .arg(identifier(ContentIndex::settingsTable)),
                                         {ContentIndex::ocrSetting});
    if (!value)
        return value.error();
    return value->isNull() || value->toString() != QStringLiteral("0");
}

Status setOcrEnabled(const Register& reg, bool enabled)
{
    return written(reg, [&](const QSqlDatabase& db) -> Status {
        const SqlDialect& dialect = SqlDialect::of(db);
        const QString sql = dialect.upsert(ContentIndex::settingsTable,
                                           {QStringLiteral("名称"), QStringLiteral("值")},
                                           QStringLiteral("SELECT %1, %1").arg(dialect.text()));
        Result<QSqlQuery> done = Sql::run(
            db, sql,
            {ContentIndex::ocrSetting, enabled ? QStringLiteral("1") : QStringLiteral("0")});
        return done ? Status{} : Status{done.error()};
    });
}

Status requeueAll(const Register& reg)
{
    using namespace ContentIndex;
    return written(reg, [&](const QSqlDatabase& db) -> Status {
        if (Status cleared = ContentStore::clearIndex(db); !cleared)
            return cleared;
        Result<QSqlQuery> done = Sql::run(
            db, QStringLiteral("UPDATE %1 SET %2 = %3, %4 = NULL, %5 = NULL")
                    .arg(contents(), identifier(stateColumn), QString::number(int(State::Waiting)),
                         identifier(textColumn), identifier(reasonColumn)));
        return done ? Status{} : Status{done.error()};
    });
}

Result<qint64> dropUnused(const Register& reg)
{
    using namespace ContentIndex;
    qint64 dropped = 0;
    Status done = written(reg, [&](const QSqlDatabase& db) -> Status {
        Result<QSqlQuery> unused = Sql::run(
            db, QStringLiteral("SELECT %1 FROM %2 WHERE %3 NOT IN (%4)")
                    .arg(identifier(numberColumn), contents(), identifier(hashColumn), inUse()));
        if (!unused)
            return unused.error();
        QList<qint64> rows;
        while (unused->next())
            rows.append(unused->value(0).toLongLong());
        for (qint64 number : rows) {
            if (Status removed = ContentStore::remove(db, number); !removed)
                return removed;
        }
        dropped = rows.size();
        return {};
    });
    if (!done)
        return done.error();
    return dropped;
}

Result<QList<Entry>> entries(const Register& reg, State state, qint64 after, int limit)
{
    using namespace ContentIndex;
    const QSqlDatabase db = reg.database();
    const SqlDialect& dialect = SqlDialect::of(db);
    Result<QSqlQuery> rows = Sql::run(
        db,
        QStringLiteral("SELECT %1, %2 FROM %3 WHERE %4 = %5 AND %1 > %6 ORDER BY %1 LIMIT %7")
            .arg(identifier(numberColumn), identifier(hashColumn), contents(),
                 identifier(stateColumn), QString::number(int(state)), dialect.number(),
                 dialect.count()),
        {after, limit});
    if (!rows)
        return rows.error();
    QList<Entry> list;
    while (rows->next())
        list.append({rows->value(0).toLongLong(), rows->value(1).toString()});
    return list;
}

Result<qint64> copyTexts(const Register& source, const Register& target)
{
    using namespace ContentIndex;
    constexpr int batch = 200;
    const QSqlDatabase from = source.database();
    qint64 taken = 0;
    qint64 after = 0;
    while (true) {
        Result<QList<Entry>> waiting = entries(target, State::Waiting, after, batch);
        if (!waiting)
            return waiting.error();
        QHash<QString, qint64> numbers;
        for (const Entry& entry : *waiting) {
            after = entry.number;
            numbers.insert(entry.hash, entry.number);
        }
        if (numbers.isEmpty())
            return taken;
        QStringList marks;
        QVariantList hashes;
        for (auto it = numbers.cbegin(); it != numbers.cend(); ++it) {
            marks << SqlDialect::of(from).text();
            hashes << it.key();
        }
        Result<QSqlQuery> read =
            Sql::run(from,
                     QStringLiteral("SELECT %1, %2, %3, %4 FROM %5 WHERE %2 <> %6 AND %1 IN (%7)")
                         .arg(identifier(hashColumn), identifier(stateColumn),
                              identifier(textColumn), identifier(reasonColumn), contents(),
                              QString::number(int(State::Waiting)), marks.join(QLatin1Char(','))),
                     hashes);
        if (!read)
            return read.error();
        Status written = ContentQueue::written(target, [&](const QSqlDatabase& db) -> Status {
            while (read->next()) {
                if (Status stored = ContentStore::store(
                        db, numbers.value(read->value(0).toString()), State(read->value(1).toInt()),
                        read->value(2).toString(), read->value(3).toString());
                    !stored)
                    return stored;
                ++taken;
            }
            return {};
        });
        if (!written)
            return written.error();
    }
}

Result<qint64> queueMissing(const Register& reg)
{
    using namespace ContentIndex;
    qint64 queued = 0;
    Status done = written(reg, [&](const QSqlDatabase& db) -> Status {
        Result<QSqlQuery> added = Sql::run(
            db, QStringLiteral("INSERT INTO %1 (%2) SELECT DISTINCT u.%3 FROM (%4) AS u WHERE u.%3 "
                               "NOT IN (SELECT %2 FROM %1)")
                    .arg(contents(), identifier(hashColumn), identifier(ContentHash::hashColumn),
                         inUse()));
        if (!added)
            return added.error();
        queued = added->numRowsAffected();
        return {};
    });
    if (!done)
        return done.error();
    return queued;
}

} // namespace ContentQueue
