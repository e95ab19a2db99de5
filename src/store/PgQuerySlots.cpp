#include "store/PgRecordStore.h"

#include "store/PgSchema.h"
#include "store/PgSql.h"
#include "store/QueryColumns.h"
#include "store/RegisterNames.h"
#include "store/Sql.h"

#include <QSqlQuery>

// The table of saved queries on a server. Slot N is the N-th row in the
// order of its identity column.

namespace {

using Sql::identifier;

QString table()
{
    return identifier(RegisterNames::queryTable);
}

QString order()
{
    return identifier(PgSchema::queryOrderColumn);
}

// An empty text, never Null: a null QString would be bound as Null.
QVariant text(const QString& value)
{
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

} // namespace

Result<QList<QVariantList>> PgRecordStore::querySlots(int count)
{
    QStringList columns;
    for (const QString& column : allQueryColumns())
        columns << identifier(column);
    Result<QSqlQuery> query =
        Sql::run(db(),
                 QStringLiteral("SELECT %1 FROM %2 ORDER BY %3 LIMIT ?::int")
                     .arg(columns.join(QStringLiteral(", ")), table(), order()),
                 {count});
    if (!query)
        return query.error();
    QList<QVariantList> rows;
    while (query->next()) {
        QVariantList row;
        for (int column = 0; column < columns.size(); ++column)
            row << query->value(column);
        rows << row;
    }
    return rows;
}

// Insists that exactly that row changed: a trigger that silently drops the
// change must not pass for a save.
Status PgRecordStore::writeQuerySlot(int slot, const QList<QPair<QueryField, QString>>& values)
{
    return PgSql::retried([&] { return writeSlotOnce(slot, values); });
}

Status PgRecordStore::writeSlotOnce(int slot, const QList<QPair<QueryField, QString>>& values)
{
    Result<QVariant> row = Sql::scalar(
        db(),
        QStringLiteral("SELECT %2 FROM %1 ORDER BY %2 LIMIT 1 OFFSET ?::int").arg(table(), order()),
        {slot - 1});
    if (!row)
        return row.error();
    if (row->isNull())
        return Error{QStringLiteral("自定义查询表中没有第%1个查询。").arg(slot), QString(),
                     ErrorCode::NotFound};
    QStringList assignments;
    QVariantList bound;
    for (const auto& [field, value] : values) {
        assignments << identifier(queryColumnOf(field)) + QStringLiteral(" = ?::text");
        bound << text(value);
    }
    bound << row->toLongLong();
    Result<QSqlQuery> updated =
        Sql::run(db(),
                 QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
                     .arg(table(), assignments.join(QStringLiteral(", ")), order()),
                 bound);
    if (!updated)
        return updated.error();
    if (updated->numRowsAffected() != 1) {
        return Error{QStringLiteral("登记库拒绝了对自定义查询%1的修改。").arg(slot),
                     QStringLiteral("UPDATE changed %1 rows").arg(updated->numRowsAffected()),
                     ErrorCode::Changed};
    }
    return {};
}

Result<QPair<int, bool>> PgRecordStore::querySlotShape()
{
    QStringList tests;
    for (const QString& column : allQueryColumns())
        tests << identifier(column) + QStringLiteral(" IS NULL");
    Result<QVariant> rows =
        Sql::scalar(db(), QStringLiteral("SELECT count(*) FROM %1").arg(table()));
    if (!rows)
        return rows.error();
    Result<QVariant> nulls =
        Sql::scalar(db(), QStringLiteral("SELECT count(*) FROM %1 WHERE %2")
                              .arg(table(), tests.join(QStringLiteral(" OR "))));
    if (!nulls)
        return nulls.error();
    return QPair<int, bool>(rows->toInt(), nulls->toInt() > 0);
}

Status PgRecordStore::completeQuerySlots(const QList<QPair<QString, QString>>& defaults)
{
    return PgSql::retried([&] { return completeOnce(defaults); });
}

Status PgRecordStore::completeOnce(const QList<QPair<QString, QString>>& defaults)
{
    const QSqlDatabase db = this->db();
    Transaction transaction(db);
    if (!transaction.started())
        return transaction.startError();
    // The whole table, so two programs never both append the missing slots.
    if (Status locked = PgSql::exec(
            db, QStringLiteral("LOCK TABLE %1 IN SHARE ROW EXCLUSIVE MODE").arg(table()));
        !locked)
        return locked;
    Result<QVariant> rows = Sql::scalar(db, QStringLiteral("SELECT count(*) FROM %1").arg(table()));
    if (!rows)
        return rows.error();
    QStringList columns;
    QStringList placeholders;
    for (const QString& column : allQueryColumns()) {
        columns << identifier(column);
        placeholders << QStringLiteral("?::text");
    }
    const QString insert = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                               .arg(table(), columns.join(QStringLiteral(", ")),
                                    placeholders.join(QStringLiteral(", ")));
    for (qsizetype slot = rows->toInt(); slot < defaults.size(); ++slot) {
        QVariantList values{defaults.at(slot).first, defaults.at(slot).second};
        while (values.size() < columns.size())
            values << text(QString());
        if (Result<QSqlQuery> inserted = Sql::run(db, insert, values); !inserted)
            return inserted.error();
    }
    const QString titleColumn = queryColumnOf(QueryField::Title);
    for (const QString& column : allQueryColumns()) {
        // A missing toolbar title becomes the single space that stands for none.
        const QVariant blank = text(column == titleColumn ? QStringLiteral(" ") : QString());
        if (Result<QSqlQuery> updated =
                Sql::run(db,
                         QStringLiteral("UPDATE %1 SET %2 = ?::text WHERE %2 IS NULL")
                             .arg(table(), identifier(column)),
                         {blank});
            !updated)
            return updated.error();
    }
    return transaction.commit();
}
