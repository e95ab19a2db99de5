#include "store/PgRecordStore.h"

#include "store/AuditTable.h"
#include "store/DateText.h"
#include "store/PgSchema.h"
#include "store/PgSql.h"
#include "store/RegisterNames.h"
#include "store/SearchIndexes.h"
#include "store/Sql.h"
#include "store/SqliteRecordStore.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <limits>

// The record table on a server. Statements follow the SQLite store's one by
// one; the identity column stands where SQLite uses the rowid, and
// "IS NOT DISTINCT FROM" where it compares with IS.

namespace {

using Sql::identifier;

QString records()
{
    return identifier(RegisterNames::recordTable);
}

QString identity()
{
    return identifier(RegisterNames::identity);
}

QString columnOf(RecordField field)
{
    return identifier(SqliteRecordStore::columnOf(field));
}

// The type a bound value is read as: a serial is a number, the rest text.
QString typed(RecordField field)
{
    return field == RecordField::Serial ? QStringLiteral("?::bigint") : QStringLiteral("?::text");
}

Result<QVariant> serialOf(const QSqlDatabase& db, qint64 id)
{
    Result<QSqlQuery> query =
        Sql::run(db,
                 QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                     .arg(columnOf(RecordField::Serial), records(), identity()),
                 {id});
    if (!query)
        return query.error();
    if (!query->next())
        return Error{QStringLiteral("该记录已不存在，请刷新视图。"), QString::number(id),
                     ErrorCode::NotFound};
    return query->value(0);
}

Status setSerial(const QSqlDatabase& db, qint64 id, const QVariant& serial)
{
    const QString column = columnOf(RecordField::Serial);
    Result<QSqlQuery> query = Sql::run(db,
                                       QStringLiteral("UPDATE %1 SET %2 = ?::bigint WHERE %3 = ?")
                                           .arg(records(), column, identity()),
                                       {serial, id});
    if (!query)
        return query.error();
    // A trigger may skip the change or undo it.
    Result<QVariant> holds = Sql::scalar(
        db,
        QStringLiteral("SELECT count(*) FROM %1 WHERE %3 = ? AND %2 IS NOT DISTINCT FROM ?::bigint")
            .arg(records(), column, identity()),
        {id, serial});
    if (!holds)
        return holds.error();
    if (query->numRowsAffected() != 1 || holds->toLongLong() != 1)
        return Error{notAppliedText, QString::number(id), ErrorCode::Changed};
    return {};
}

} // namespace

Status PgRecordStore::seenThere(const SeenRecord& seen)
{
    Result<QSqlQuery> query =
        Sql::run(db(),
                 QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                     .arg(columnOf(RecordField::StoredName), records(), identity()),
                 {seen.rowid});
    if (!query)
        return query.error();
    if (!query->next() || query->value(0).toString() != seen.storedName)
        return Error{changedText, QString::number(seen.rowid), ErrorCode::Changed};
    return {};
}

Result<std::unique_ptr<StoreTransaction>> PgRecordStore::beginWrite()
{
    return Transaction::begin(db());
}

Result<qint64> PgRecordStore::recordCount()
{
    Result<QVariant> count =
        Sql::scalar(db(), QStringLiteral("SELECT count(*) FROM %1").arg(records()));
    if (!count)
        return count.error();
    return count->toLongLong();
}

Result<QList<qint64>> PgRecordStore::identitiesWithSerial(qint64 serial, int limit)
{
    Result<QSqlQuery> query =
        Sql::run(db(),
                 QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?::bigint ORDER BY %1 LIMIT ?::int")
                     .arg(identity(), records(), columnOf(RecordField::Serial)),
                 {serial, limit});
    if (!query)
        return query.error();
    QList<qint64> identities;
    while (query->next())
        identities << query->value(0).toLongLong();
    return identities;
}

// Writers take turns for the next serial: the lock lasts until their
// transaction ends, so the next one reads the serial this one inserted.
Result<qint64> PgRecordStore::nextSerial()
{
    const QSqlDatabase db = this->db();
    if (Result<QVariant> locked =
            Sql::scalar(db, QStringLiteral("SELECT pg_advisory_xact_lock(?)"), {PgSql::serialLock});
        !locked)
        return locked.error();
    Result<QVariant> highest = Sql::scalar(
        db, QStringLiteral("SELECT max(%1) FROM %2").arg(columnOf(RecordField::Serial), records()));
    if (!highest)
        return highest.error();
    if (highest->isNull())
        return qint64(1);
    const qint64 value = highest->toLongLong();
    if (value == std::numeric_limits<qint64>::max())
        return Error{
            QStringLiteral("文件序号已到尽头（最大序号为 %1），无法为新文件编号。请先整理序号。")
                .arg(value),
            QString()};
    return value + 1;
}

Result<qint64> PgRecordStore::insert(const NewRecord& record)
{
    QStringList columns;
    QStringList marks;
    for (const QString& column : RegisterNames::recordColumns) {
        columns << identifier(column);
        marks << (column == RegisterNames::serial ? QStringLiteral("?::bigint")
                                                  : QStringLiteral("?::text"));
    }
    const QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) RETURNING %4")
                            .arg(records(), columns.join(QStringLiteral(", ")),
                                 marks.join(QStringLiteral(", ")), identity());
    // In the order of RegisterNames::recordColumns.
    const QVariantList values{
        record.serial,
        record.date.isValid() ? DateText::toStored(record.date) : QStringLiteral(""),
        record.fileName,
        record.storedName,
        record.remark,
        record.recipient,
        record.method,
        record.folder};
    Result<QVariant> inserted = Sql::scalar(db(), sql, values);
    if (!inserted)
        return inserted.error();
    const qint64 id = inserted->toLongLong();
    if (Status logged =
            Audit::write(db(), Audit::added, id, {}, Audit::present(Audit::recordValues(values)));
        !logged)
        return logged.error();
    return id;
}

Status PgRecordStore::stillThere(const SeenRecord& seen)
{
    return seenThere(seen);
}

Status PgRecordStore::remove(const SeenRecord& seen)
{
    const QSqlDatabase db = this->db();
    if (Status same = seenThere(seen); !same)
        return same;
    Result<QVariantMap> before =
        Audit::valuesOf(db, RegisterNames::recordTable, RegisterNames::identity, seen.rowid,
                        RegisterNames::recordColumns);
    if (!before)
        return before.error();
    Result<QVariant> highest =
        Sql::scalar(db, QStringLiteral("SELECT max(%1) FROM %2").arg(identity(), records()));
    if (!highest)
        return highest.error();
    Result<QSqlQuery> removed = Sql::run(
        db, QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(records(), identity()), {seen.rowid});
    if (!removed)
        return removed.error();
    // A trigger may skip the delete or put the record (or another) back.
    Result<QVariant> left = Sql::scalar(
        db,
        QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = ? OR %2 > ?").arg(records(), identity()),
        {seen.rowid, highest->toLongLong()});
    if (!left)
        return left.error();
    if (removed->numRowsAffected() != 1 || left->toLongLong() != 0)
        return Error{notAppliedText, QString::number(seen.rowid), ErrorCode::Changed};
    return Audit::write(db, Audit::deleted, seen.rowid, Audit::present(*before), {});
}

Result<qint64> PgRecordStore::recordsNaming(const QString& storedName)
{
    Result<QVariant> count =
        Sql::scalar(db(),
                    QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = ?::text")
                        .arg(records(), columnOf(RecordField::StoredName)),
                    {storedName});
    if (!count)
        return count.error();
    return count->toLongLong();
}

Result<bool> PgRecordStore::isNamed(const QString& storedName, qint64 id)
{
    const QString sql =
        QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ?::text%3 LIMIT 1")
            .arg(records(), columnOf(RecordField::StoredName),
                 id != 0 ? QStringLiteral(" AND %1 = ?").arg(identity()) : QString());
    QVariantList values{storedName};
    if (id != 0)
        values << id;
    Result<QSqlQuery> query = Sql::run(db(), sql, values);
    if (!query)
        return query.error();
    return query->next();
}

Status PgRecordStore::updateFields(const QList<SeenRecord>& seen,
                                   const QList<QPair<RecordField, QString>>& changes)
{
    if (seen.isEmpty() || changes.isEmpty())
        return {};
    return PgSql::retried([&] { return updateOnce(seen, changes); });
}

Status PgRecordStore::updateOnce(const QList<SeenRecord>& seen,
                                 const QList<QPair<RecordField, QString>>& changes)
{
    QStringList assignments;
    QStringList written;
    QVariantList values;
    QStringList columns;
    for (const auto& [field, value] : changes) {
        columns << SqliteRecordStore::columnOf(field);
        assignments << columnOf(field) + QStringLiteral(" = ") + typed(field);
        written << columnOf(field) + QStringLiteral(" IS NOT DISTINCT FROM ") + typed(field);
        values << value;
    }
    const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
                            .arg(records(), assignments.join(QStringLiteral(", ")), identity());
    // What a trigger might have undone shows in the row afterwards.
    const QString check = QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = ? AND %3")
                              .arg(records(), identity(), written.join(QStringLiteral(" AND ")));

    const QSqlDatabase db = this->db();
    Transaction transaction(db);
    if (!transaction.started())
        return transaction.startError();
    for (const SeenRecord& record : seen) {
        if (Status same = seenThere(record); !same)
            return same;
        Result<QVariantMap> before = Audit::valuesOf(
            db, RegisterNames::recordTable, RegisterNames::identity, record.rowid, columns);
        if (!before)
            return before.error();
        Result<QSqlQuery> updated = Sql::run(db, sql, QVariantList(values) << record.rowid);
        if (!updated)
            return updated.error();
        Result<QVariant> holds = Sql::scalar(db, check, QVariantList{record.rowid} + values);
        if (!holds)
            return holds.error();
        if (updated->numRowsAffected() != 1 || holds->toLongLong() != 1)
            return Error{notAppliedText, QString::number(record.rowid), ErrorCode::Changed};
        if (Status logged = Audit::writeModified(db, record.rowid, *before, columns, values);
            !logged)
            return logged;
    }
    return transaction.commit();
}

Status PgRecordStore::swapSerials(const SeenRecord& first, const SeenRecord& second)
{
    return PgSql::retried([&] { return swapOnce(first, second); });
}

Status PgRecordStore::swapOnce(const SeenRecord& firstRecord, const SeenRecord& secondRecord)
{
    const QSqlDatabase db = this->db();
    Transaction transaction(db);
    if (!transaction.started())
        return transaction.startError();
    // Both rows locked in one order, so two swaps never wait on each other
    // crosswise; then they are checked as seen.
    if (Result<QSqlQuery> locked =
            Sql::run(db,
                     QStringLiteral("SELECT 1 FROM %1 WHERE %2 IN (?, ?) ORDER BY %2 FOR UPDATE")
                         .arg(records(), identity()),
                     {firstRecord.rowid, secondRecord.rowid});
        !locked)
        return locked.error();
    for (const SeenRecord* record : {&firstRecord, &secondRecord}) {
        if (Status same = seenThere(*record); !same)
            return same;
    }
    Result<QVariant> first = serialOf(db, firstRecord.rowid);
    if (!first)
        return first.error();
    Result<QVariant> second = serialOf(db, secondRecord.rowid);
    if (!second)
        return second.error();
    if (first.value() == second.value())
        // Exchanging equal serials would change nothing the view shows.
        return Error{QStringLiteral("两条记录的序号相同，无法移动。"), first->toString()};
    if (Status set = setSerial(db, firstRecord.rowid, second.value()); !set)
        return set;
    if (Status set = setSerial(db, secondRecord.rowid, first.value()); !set)
        return set;
    if (Status logged =
            Audit::writeSwap(db, firstRecord.rowid, *first, secondRecord.rowid, *second);
        !logged)
        return logged;
    return transaction.commit();
}

Result<QStringList> PgRecordStore::valuesByUse(RecordField field)
{
    // Byte order, as SQLite sorts texts, whatever the server's locale.
    const QString sql = QStringLiteral("SELECT %2 FROM %1 WHERE %3 = ?::text "
                                       "ORDER BY %4 DESC, %2 COLLATE \"C\"")
                            .arg(identifier(SearchIndexes::valueTable), SearchIndexes::valueColumn,
                                 SearchIndexes::fieldColumn, SearchIndexes::countColumn);
    Result<QSqlQuery> query = Sql::run(db(), sql, {SqliteRecordStore::columnOf(field)});
    if (!query)
        return query.error();
    QStringList values;
    while (query->next())
        values << query->value(0).toString();
    return values;
}

Result<QList<FolderCount>> PgRecordStore::folderCounts()
{
    const QString sql = QStringLiteral("SELECT %2, %4 FROM %1 WHERE %3 = ?::text AND %2 <> '' "
                                       "ORDER BY %4 DESC, %2 COLLATE \"C\"")
                            .arg(identifier(SearchIndexes::valueTable), SearchIndexes::valueColumn,
                                 SearchIndexes::fieldColumn, SearchIndexes::datedColumn);
    Result<QSqlQuery> query = Sql::run(db(), sql, {RegisterNames::folder});
    if (!query)
        return query.error();
    QList<FolderCount> entries;
    while (query->next())
        entries.append({query->value(0).toString(), query->value(1).toLongLong()});
    return entries;
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

Result<QList<Audit::Entry>> PgRecordStore::history(const QList<qint64>& identities)
{
    return Audit::read(db(), identities);
}
