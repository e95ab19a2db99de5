#include "store/sql/SqlRecordStore.h"

#include "base/DateText.h"
#include "store/RecordFields.h"
#include "store/RegisterNames.h"
#include "store/sql/AuditTable.h"
#include "store/sql/Sql.h"
#include "store/view/SearchIndexes.h"

#include <QSqlQuery>

namespace {

using Sql::identifier;

QString records()
{
    return identifier(RegisterNames::recordTable);
}

QString serialColumn()
{
    return identifier(RegisterNames::serial);
}

// The bound value of `field`: a serial is a number, the rest text.
QString marked(const SqlDialect& dialect, RecordField field)
{
    return RecordFields::of(field).kind == RecordFields::Kind::Serial ? dialect.number()
                                                                      : dialect.text();
}

// The serial of record `id` as stored.
Result<QVariant> serialOf(const QSqlDatabase& db, const SqlDialect& dialect, qint64 id)
{
    Result<QVariantMap> values = Audit::valuesOf(
        db, RegisterNames::recordTable, dialect.identityName(), id, {RegisterNames::serial});
    if (!values)
        return values.error();
    return values->value(RegisterNames::serial);
}

Status setSerial(const QSqlDatabase& db, const SqlDialect& dialect, qint64 id,
                 const QVariant& serial)
{
    const QString column = serialColumn();
    Result<QSqlQuery> query =
        Sql::run(db,
                 QStringLiteral("UPDATE %1 SET %2 = %3 WHERE %4 = ?")
                     .arg(records(), column, dialect.number(), dialect.identity()),
                 {serial, id});
    if (!query)
        return query.error();
    // A trigger may skip the change or undo it.
    Result<QVariant> holds =
        Sql::scalar(db,
                    QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = ? AND %3")
                        .arg(records(), dialect.identity(), dialect.same(column, dialect.number())),
                    {id, serial});
    if (!holds)
        return holds.error();
    if (query->numRowsAffected() != 1 || holds->toLongLong() != 1)
        return Error{notAppliedText, QString::number(id), ErrorCode::Changed};
    return {};
}

} // namespace

QString SqlRecordStore::columnOf(RecordField field)
{
    return RecordFields::of(field).column;
}

Error SqlRecordStore::noSerialAfter(const QVariant& highest, const QString& detail)
{
    return Error{
        QStringLiteral("文件序号已到尽头（最大序号为 %1），无法为新文件编号。请先整理序号。")
            .arg(highest.toString()),
        detail};
}

Result<std::unique_ptr<StoreTransaction>> SqlRecordStore::beginWrite()
{
    return Transaction::begin(db());
}

Result<qint64> SqlRecordStore::recordCount()
{
    Result<QVariant> count =
        Sql::scalar(db(), QStringLiteral("SELECT count(*) FROM %1").arg(records()));
    if (!count)
        return count.error();
    return count->toLongLong();
}

Result<QList<qint64>> SqlRecordStore::identitiesWithSerial(qint64 serial, int limit)
{
    Result<QSqlQuery> query =
        Sql::run(db(),
                 QStringLiteral("SELECT %1 FROM %2 WHERE %3 = %4 ORDER BY %1 LIMIT %5")
                     .arg(m_dialect.identity(), records(), serialColumn(), m_dialect.number(),
                          m_dialect.count()),
                 {serial, limit});
    if (!query)
        return query.error();
    QList<qint64> identities;
    while (query->next())
        identities << query->value(0).toLongLong();
    return identities;
}

Result<qint64> SqlRecordStore::insert(const NewRecord& record)
{
    QStringList columns;
    QStringList marks;
    for (const QString& column : RecordFields::columns()) {
        columns << identifier(column);
        marks << (column == RegisterNames::serial ? m_dialect.number() : m_dialect.text());
    }
    const QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)%4")
                            .arg(records(), columns.join(QStringLiteral(", ")),
                                 marks.join(QStringLiteral(", ")), m_dialect.returningIdentity());
    const QVariantList values = RecordFields::storedValues(record);
    Result<QSqlQuery> query = Sql::run(db(), sql, values);
    if (!query)
        return query.error();
    // A trigger may skip the insert: then there is no record to name.
    const std::optional<qint64> identity = m_dialect.insertedIdentity(*query);
    if (!identity)
        return Error{notAppliedText, record.fileName, ErrorCode::Changed};
    if (Status logged = Audit::write(db(), Audit::added, *identity, {},
                                     Audit::present(Audit::recordValues(values)));
        !logged)
        return logged.error();
    return *identity;
}

Result<QList<AddedRecord>> SqlRecordStore::addRecords(const QList<DigestedRecord>& records,
                                                      int sameLimit)
{
    QList<AddedRecord> added;
    for (const DigestedRecord& digested : records) {
        AddedRecord one;
        Result<qint64> serial = nextSerial();
        if (!serial)
            return serial.error();
        Result<QList<ContentHash::SameContent>> same =
            sameContent(digested.size, digested.hash, sameLimit);
        if (!same)
            return same.error();
        NewRecord record = digested.record;
        record.serial = serial.value();
        Result<qint64> identity = insert(record);
        if (!identity)
            return identity.error();
        if (Status hashed = recordDigest(*identity, digested.size, digested.hash); !hashed)
            return hashed.error();
        added.append({*identity, *serial, same.value()});
    }
    return added;
}

Status SqlRecordStore::stillThere(const SeenRecord& seen)
{
    return seen.stillThere(db());
}

Status SqlRecordStore::remove(const SeenRecord& seen)
{
    const QSqlDatabase db = this->db();
    if (Status same = seen.stillThere(db); !same)
        return same;
    const QString identity = m_dialect.identity();
    Result<QVariantMap> before =
        Audit::valuesOf(db, RegisterNames::recordTable, m_dialect.identityName(), seen.rowid,
                        RecordFields::columns());
    if (!before)
        return before.error();
    Result<QVariant> highest =
        Sql::scalar(db, QStringLiteral("SELECT max(%1) FROM %2").arg(identity, records()));
    if (!highest)
        return highest.error();
    Result<QSqlQuery> removed = Sql::run(
        db, QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(records(), identity), {seen.rowid});
    if (!removed)
        return removed.error();
    // A trigger may skip the delete or put the record (or another) back.
    Result<QVariant> left = Sql::scalar(
        db,
        QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = ? OR %2 > ?").arg(records(), identity),
        {seen.rowid, highest->toLongLong()});
    if (!left)
        return left.error();
    if (removed->numRowsAffected() != 1 || left->toLongLong() != 0)
        return Error{notAppliedText, QString::number(seen.rowid), ErrorCode::Changed};
    return Audit::write(db, Audit::deleted, seen.rowid, Audit::present(*before), {});
}

Result<qint64> SqlRecordStore::recordsNaming(const QString& storedName)
{
    Result<QVariant> count =
        Sql::scalar(db(),
                    QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = %3")
                        .arg(records(), identifier(RegisterNames::storedName), m_dialect.text()),
                    {storedName});
    if (!count)
        return count.error();
    return count->toLongLong();
}

Result<bool> SqlRecordStore::isNamed(const QString& storedName, qint64 identity)
{
    const QString sql =
        QStringLiteral("SELECT 1 FROM %1 WHERE %2 = %3%4 LIMIT 1")
            .arg(records(), identifier(RegisterNames::storedName), m_dialect.text(),
                 identity != 0 ? QStringLiteral(" AND %1 = ?").arg(m_dialect.identity())
                               : QString());
    QVariantList values{storedName};
    if (identity != 0)
        values << identity;
    Result<QSqlQuery> query = Sql::run(db(), sql, values);
    if (!query)
        return query.error();
    return query->next();
}

Status SqlRecordStore::updateFields(const QList<SeenRecord>& records,
                                    const QList<QPair<RecordField, QString>>& changes)
{
    if (records.isEmpty() || changes.isEmpty())
        return {};
    return m_dialect.retried([&] { return updateOnce(records, changes); });
}

Status SqlRecordStore::updateOnce(const QList<SeenRecord>& seen,
                                  const QList<QPair<RecordField, QString>>& changes)
{
    QStringList assignments;
    QStringList written;
    QVariantList values;
    QStringList columns;
    for (const auto& [field, value] : changes) {
        const QString column = identifier(columnOf(field));
        columns << columnOf(field);
        assignments << column + QStringLiteral(" = ") + marked(m_dialect, field);
        written << m_dialect.same(column, marked(m_dialect, field));
        values << value;
    }
    const QString identity = m_dialect.identity();
    const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
                            .arg(records(), assignments.join(QStringLiteral(", ")), identity);
    // What a trigger might have undone shows in the row afterwards.
    const QString check = QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = ? AND %3")
                              .arg(records(), identity, written.join(QStringLiteral(" AND ")));

    const QSqlDatabase db = this->db();
    Transaction transaction(db);
    if (!transaction.started())
        return transaction.startError();
    for (const SeenRecord& record : seen) {
        if (Status same = record.stillThere(db); !same)
            return same;
        Result<QVariantMap> before = Audit::valuesOf(
            db, RegisterNames::recordTable, m_dialect.identityName(), record.rowid, columns);
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

Status SqlRecordStore::swapSerials(const SeenRecord& first, const SeenRecord& second)
{
    return m_dialect.retried([&] { return swapOnce(first, second); });
}

Status SqlRecordStore::swapOnce(const SeenRecord& firstRecord, const SeenRecord& secondRecord)
{
    const QSqlDatabase db = this->db();
    Transaction transaction(db);
    if (!transaction.started())
        return transaction.startError();
    if (Status locked = m_dialect.lockRecords(db, {firstRecord.rowid, secondRecord.rowid}); !locked)
        return locked;
    for (const SeenRecord* record : {&firstRecord, &secondRecord}) {
        if (Status same = record->stillThere(db); !same)
            return same;
    }
    Result<QVariant> first = serialOf(db, m_dialect, firstRecord.rowid);
    if (!first)
        return first.error();
    Result<QVariant> second = serialOf(db, m_dialect, secondRecord.rowid);
    if (!second)
        return second.error();
    if (first.value() == second.value())
        // Exchanging equal serials would change nothing the view shows.
        return Error{QStringLiteral("两条记录的序号相同，无法移动。"), first->toString()};
    if (Status set = setSerial(db, m_dialect, firstRecord.rowid, second.value()); !set)
        return set;
    if (Status set = setSerial(db, m_dialect, secondRecord.rowid, first.value()); !set)
        return set;
    if (Status logged =
            Audit::writeSwap(db, firstRecord.rowid, *first, secondRecord.rowid, *second);
        !logged)
        return logged;
    return transaction.commit();
}

// The search indexes keep every value with its count, so a large register
// is not counted again for each form or menu.
Result<QStringList> SqlRecordStore::valuesByUse(RecordField field)
{
    const QString sql = QStringLiteral("SELECT %2 FROM %1 WHERE %3 = %5 ORDER BY %4 DESC, %2%6")
                            .arg(identifier(SearchIndexes::valueTable), SearchIndexes::valueColumn,
                                 SearchIndexes::fieldColumn, SearchIndexes::countColumn,
                                 m_dialect.text(), m_dialect.byteOrder());
    Result<QSqlQuery> query = Sql::run(db(), sql, {columnOf(field)});
    if (!query)
        return query.error();
    QStringList values;
    while (query->next())
        values << query->value(0).toString();
    return values;
}

Result<QList<FolderCount>> SqlRecordStore::folderCounts()
{
    // The count of dated records, as the menu always showed (a folder whose
    // records carry no date is still listed, last).
    const QString sql =
        QStringLiteral("SELECT %2, %4 FROM %1 WHERE %3 = %5 AND %2 <> '' ORDER BY %4 DESC, %2%6")
            .arg(identifier(SearchIndexes::valueTable), SearchIndexes::valueColumn,
                 SearchIndexes::fieldColumn, SearchIndexes::datedColumn, m_dialect.text(),
                 m_dialect.byteOrder());
    Result<QSqlQuery> query = Sql::run(db(), sql, {RegisterNames::folder});
    if (!query)
        return query.error();
    QList<FolderCount> entries;
    while (query->next())
        entries.append({query->value(0).toString(), query->value(1).toLongLong()});
    return entries;
}

Result<QList<Audit::Entry>> SqlRecordStore::history(const QList<qint64>& identities)
{
    return Audit::read(db(), identities);
}
