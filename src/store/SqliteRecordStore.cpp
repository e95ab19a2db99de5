#include "store/SqliteRecordStore.h"

#include "store/AuditTable.h"
#include "store/DateText.h"
#include "store/RegisterNames.h"
#include "store/SearchIndexes.h"
#include "store/Sql.h"

#include <QSqlQuery>

#include <cmath>
#include <limits>
#include <optional>

namespace {

const QString noSerialText =
    QStringLiteral("文件序号已到尽头（最大序号为 %1），无法为新文件编号。请先整理序号。");

QString recordTableName()
{
    return Sql::identifier(RegisterNames::recordTable);
}

// The number after `highest` (an integer or a real serial), or nothing when
// no 64-bit integer comes after it.
std::optional<qint64> after(const QVariant& highest)
{
    constexpr qint64 top = std::numeric_limits<qint64>::max();
    if (highest.typeId() != QMetaType::Double) {
        const qint64 value = highest.toLongLong();
        if (value == top)
            return std::nullopt;
        return value + 1;
    }
    const double value = highest.toDouble();
    // 2^63 is the first double beyond the 64-bit range; NaN fails every test.
    if (!(value < 9223372036854775808.0))
        return std::nullopt;
    if (value < -9223372036854775808.0)
        return std::numeric_limits<qint64>::min();
    const auto whole = static_cast<qint64>(std::floor(value));
    if (whole == top)
        return std::nullopt;
    return whole + 1;
}

Result<QVariant> serialOf(const QSqlDatabase& db, qint64 rowid)
{
    Result<QSqlQuery> query =
        Sql::run(db,
                 QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?")
                     .arg(Sql::identifier(RegisterNames::serial), recordTableName()),
                 {rowid});
    if (!query)
        return query.error();
    if (!query->next())
        return Error{QStringLiteral("该记录已不存在，请刷新视图。"), QString::number(rowid),
                     ErrorCode::NotFound};
    return query->value(0);
}

Status setSerial(const QSqlDatabase& db, qint64 rowid, const QVariant& serial)
{
    const QString column = Sql::identifier(RegisterNames::serial);
    Result<QSqlQuery> query = Sql::run(
        db, QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ?").arg(recordTableName(), column),
        {serial, rowid});
    if (!query)
        return query.error();
    // A trigger may skip the change or undo it.
    Result<QVariant> holds =
        Sql::scalar(db,
                    QStringLiteral("SELECT count(*) FROM %1 WHERE rowid = ? AND %2 IS ?")
                        .arg(recordTableName(), column),
                    {rowid, serial});
    if (!holds)
        return holds.error();
    if (query->numRowsAffected() != 1 || holds->toLongLong() != 1)
        return Error{notAppliedText, QString::number(rowid), ErrorCode::Changed};
    return {};
}

} // namespace

QString SqliteRecordStore::columnOf(RecordField field)
{
    using namespace RegisterNames;
    switch (field) {
    case RecordField::Serial:
        return serial;
    case RecordField::Date:
        return date;
    case RecordField::FileName:
        return fileName;
    case RecordField::StoredName:
        return storedName;
    case RecordField::Remark:
        return remark;
    case RecordField::Recipient:
        return recipient;
    case RecordField::Method:
        return method;
    case RecordField::Folder:
    default:
        return folder;
    }
}

Result<std::unique_ptr<StoreTransaction>> SqliteRecordStore::beginWrite()
{
    return Transaction::begin(db());
}

Result<qint64> SqliteRecordStore::recordCount()
{
    Result<QVariant> count =
        Sql::scalar(db(), QStringLiteral("SELECT count(*) FROM %1").arg(recordTableName()));
    if (!count)
        return count.error();
    return count->toLongLong();
}

Result<QList<qint64>> SqliteRecordStore::identitiesWithSerial(qint64 serial, int limit)
{
    Result<QSqlQuery> query =
        Sql::run(db(),
                 QStringLiteral("SELECT rowid FROM %1 WHERE %2 = ? LIMIT %3")
                     .arg(recordTableName(), Sql::identifier(RegisterNames::serial))
                     .arg(limit),
                 {serial});
    if (!query)
        return query.error();
    QList<qint64> identities;
    while (query->next())
        identities << query->value(0).toLongLong();
    return identities;
}

// Serials are counted in 64-bit integers: the highest numeric serial, and of
// serials stored as text (a column declared TEXT stores them so) those that
// are whole numbers, give the next one. A serial that exists already is
// never handed out.
Result<qint64> SqliteRecordStore::nextSerial()
{
    const QSqlDatabase db = this->db();
    const QString column = Sql::identifier(RegisterNames::serial);
    const QString table = recordTableName();
    // Numbers sort before every text, so "< ''" walks the serial index from
    // the end of its numbers.
    Result<QVariant> number =
        Sql::scalar(db, QStringLiteral("SELECT %1 FROM %2 WHERE %1 < '' ORDER BY %1 DESC LIMIT 1")
                            .arg(column, table));
    if (!number)
        return number.error();
    Result<QVariant> text = Sql::scalar(
        db, QStringLiteral("SELECT max(CAST(%1 AS INTEGER)) FROM %2 WHERE %1 >= '' AND %1 < x'' "
                           "AND CAST(CAST(%1 AS INTEGER) AS TEXT) = %1")
                .arg(column, table));
    if (!text)
        return text.error();
    qint64 next = 1;
    bool any = false;
    for (const QVariant& highest : {*number, *text}) {
        if (highest.isNull())
            continue;
        const std::optional<qint64> following = after(highest);
        if (!following)
            return Error{noSerialText.arg(highest.toString()), QString()};
        next = any ? std::max(next, *following) : *following;
        any = true;
    }
    // The rules above already pass every serial in use; this is the last word.
    Result<QVariant> taken = Sql::scalar(
        db, QStringLiteral("SELECT count(*) FROM %2 WHERE %1 = ? OR %1 = ?").arg(column, table),
        {next, QString::number(next)});
    if (!taken)
        return taken.error();
    if (taken->toLongLong() != 0)
        return Error{noSerialText.arg(next), QStringLiteral("序号 %1 已被占用").arg(next)};
    return next;
}

Result<qint64> SqliteRecordStore::insert(const NewRecord& record)
{
    using namespace RegisterNames;
    const QString sql =
        QStringLiteral("INSERT INTO %1 (%2, %3, %4, %5, %6, %7, %8, %9) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?)")
            .arg(recordTableName(), Sql::identifier(serial), Sql::identifier(date),
                 Sql::identifier(fileName), Sql::identifier(storedName), Sql::identifier(remark),
                 Sql::identifier(recipient), Sql::identifier(method), Sql::identifier(folder));
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
    Result<QSqlQuery> query = Sql::run(db(), sql, values);
    if (!query)
        return query.error();
    const qint64 identity = query->lastInsertId().toLongLong();
    if (Status logged = Audit::write(db(), Audit::added, identity, {},
                                     Audit::present(Audit::recordValues(values)));
        !logged)
        return logged.error();
    return identity;
}

Status SqliteRecordStore::stillThere(const SeenRecord& seen)
{
    return seen.stillThere(db());
}

Status SqliteRecordStore::remove(const SeenRecord& seen)
{
    const QSqlDatabase db = this->db();
    if (Status same = seen.stillThere(db); !same)
        return same;
    Result<QVariantMap> before =
        Audit::valuesOf(db, RegisterNames::recordTable, QStringLiteral("rowid"), seen.rowid,
                        RegisterNames::recordColumns);
    if (!before)
        return before.error();
    Result<QVariant> highest =
        Sql::scalar(db, QStringLiteral("SELECT max(rowid) FROM %1").arg(recordTableName()));
    if (!highest)
        return highest.error();
    Result<QSqlQuery> removed = Sql::run(
        db, QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(recordTableName()), {seen.rowid});
    if (!removed)
        return removed.error();
    // A trigger may skip the delete or put the record (or another) back.
    Result<QVariant> left =
        Sql::scalar(db,
                    QStringLiteral("SELECT count(*) FROM %1 WHERE rowid = ? OR rowid > ?")
                        .arg(recordTableName()),
                    {seen.rowid, highest->toLongLong()});
    if (!left)
        return left.error();
    if (removed->numRowsAffected() != 1 || left->toLongLong() != 0)
        return Error{notAppliedText, QString::number(seen.rowid), ErrorCode::Changed};
    return Audit::write(db, Audit::deleted, seen.rowid, Audit::present(*before), {});
}

Result<qint64> SqliteRecordStore::recordsNaming(const QString& storedName)
{
    Result<QVariant> count =
        Sql::scalar(db(),
                    QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = ?")
                        .arg(recordTableName(), Sql::identifier(RegisterNames::storedName)),
                    {storedName});
    if (!count)
        return count.error();
    return count->toLongLong();
}

Result<bool> SqliteRecordStore::isNamed(const QString& storedName, qint64 identity)
{
    const QString sql = QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ?%3 LIMIT 1")
                            .arg(recordTableName(), Sql::identifier(RegisterNames::storedName),
                                 identity != 0 ? QStringLiteral(" AND rowid = ?") : QString());
    QVariantList values{storedName};
    if (identity != 0)
        values << identity;
    Result<QSqlQuery> query = Sql::run(db(), sql, values);
    if (!query)
        return query.error();
    return query->next();
}

Status SqliteRecordStore::updateFields(const QList<SeenRecord>& records,
                                       const QList<QPair<RecordField, QString>>& changes)
{
    if (records.isEmpty() || changes.isEmpty())
        return {};
    QStringList assignments;
    QStringList written;
    QVariantList values;
    QStringList columns;
    for (const auto& [field, value] : changes) {
        columns << columnOf(field);
        assignments << Sql::identifier(columnOf(field)) + QStringLiteral(" = ?");
        written << Sql::identifier(columnOf(field)) + QStringLiteral(" IS ?");
        values << value;
    }
    const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?")
                            .arg(recordTableName(), assignments.join(QStringLiteral(", ")));
    // What a trigger might have undone shows in the row afterwards.
    const QString check = QStringLiteral("SELECT count(*) FROM %1 WHERE rowid = ? AND %2")
                              .arg(recordTableName(), written.join(QStringLiteral(" AND ")));

    QSqlDatabase db = this->db();
    Transaction transaction(db);
    if (!transaction.started())
        return transaction.startError();
    for (const SeenRecord& record : records) {
        if (Status same = record.stillThere(db); !same)
            return same;
        Result<QVariantMap> before = Audit::valuesOf(
            db, RegisterNames::recordTable, QStringLiteral("rowid"), record.rowid, columns);
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

Status SqliteRecordStore::swapSerials(const SeenRecord& firstRecord, const SeenRecord& secondRecord)
{
    QSqlDatabase db = this->db();
    Transaction transaction(db);
    if (!transaction.started())
        return transaction.startError();
    for (const SeenRecord* record : {&firstRecord, &secondRecord}) {
        if (Status same = record->stillThere(db); !same)
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

// The search indexes keep every value with its count, so a large register
// is not counted again for each form or menu.
Result<QStringList> SqliteRecordStore::valuesByUse(RecordField field)
{
    const QString sql =
        QStringLiteral("SELECT %2 FROM %1 WHERE %3 = ? ORDER BY %4 DESC, %2")
            .arg(Sql::identifier(SearchIndexes::valueTable), SearchIndexes::valueColumn,
                 SearchIndexes::fieldColumn, SearchIndexes::countColumn);
    Result<QSqlQuery> query = Sql::run(db(), sql, {columnOf(field)});
    if (!query)
        return query.error();
    QStringList values;
    while (query->next())
        values << query->value(0).toString();
    return values;
}

Result<QList<FolderCount>> SqliteRecordStore::folderCounts()
{
    // The count of dated records, as the menu always showed (a folder whose
    // records carry no date is still listed, last).
    const QString sql =
        QStringLiteral("SELECT %2, %4 FROM %1 WHERE %3 = ? AND %2 <> '' "
                       "ORDER BY %4 DESC, %2")
            .arg(Sql::identifier(SearchIndexes::valueTable), SearchIndexes::valueColumn,
                 SearchIndexes::fieldColumn, SearchIndexes::datedColumn);
    Result<QSqlQuery> query = Sql::run(db(), sql, {RegisterNames::folder});
    if (!query)
        return query.error();
    QList<FolderCount> entries;
    while (query->next())
        entries.append({query->value(0).toString(), query->value(1).toLongLong()});
    return entries;
}

Result<qint64> SqliteRecordStore::changeCounter()
{
    // SQLite's own count of the commits this connection did not make; it
    // reads the shared memory of the log, not the file.
    Result<QVariant> version = Sql::scalar(db(), QStringLiteral("PRAGMA data_version"));
    if (!version)
        return version.error();
    return version->toLongLong();
}
