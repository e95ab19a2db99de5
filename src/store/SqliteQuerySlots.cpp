#include "store/QueryColumns.h"
#include "store/RegisterNames.h"
#include "store/Sql.h"
#include "store/SqliteRecordStore.h"

#include <QSqlQuery>

// The table of saved queries. Slot N is the N-th row in rowid order.

namespace {

QString table()
{
    return Sql::identifier(RegisterNames::queryTable);
}

// An empty text, never Null: the table holds the empty string for an unused
// criterion, and a null QString would be bound as Null.
QVariant text(const QString& value)
{
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

QString anyNullCondition()
{
    QStringList tests;
    for (const QString& column : allQueryColumns())
        tests << Sql::identifier(column) + QStringLiteral(" IS NULL");
    return tests.join(QStringLiteral(" OR "));
}

} // namespace

Result<QList<QVariantList>> SqliteRecordStore::querySlots(int count)
{
    QStringList columns;
    for (const QString& column : allQueryColumns())
        columns << Sql::identifier(column);
    Result<QSqlQuery> query =
        Sql::run(db(), QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid LIMIT %3")
                           .arg(columns.join(QStringLiteral(", ")), table())
                           .arg(count));
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
Status SqliteRecordStore::writeQuerySlot(int slot, const QList<QPair<QueryField, QString>>& values)
{
    Result<QVariant> rowid = Sql::scalar(
        db(), QStringLiteral("SELECT rowid FROM %1 ORDER BY rowid LIMIT 1 OFFSET ?").arg(table()),
        {slot - 1});
    if (!rowid)
        return rowid.error();
    if (rowid->isNull())
        return Error{QStringLiteral("自定义查询表中没有第%1个查询。").arg(slot), QString(),
                     ErrorCode::NotFound};
    QStringList assignments;
    QVariantList bound;
    for (const auto& [field, value] : values) {
        assignments << Sql::identifier(queryColumnOf(field)) + QStringLiteral(" = ?");
        bound << text(value);
    }
    bound << rowid->toLongLong();
    Result<QSqlQuery> updated = Sql::run(db(),
                                         QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?")
                                             .arg(table(), assignments.join(QStringLiteral(", "))),
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

Result<QPair<int, bool>> SqliteRecordStore::querySlotShape()
{
    Result<QVariant> rows =
        Sql::scalar(db(), QStringLiteral("SELECT count(*) FROM %1").arg(table()));
    if (!rows)
        return rows.error();
    Result<QVariant> nulls = Sql::scalar(
        db(), QStringLiteral("SELECT count(*) FROM %1 WHERE %2").arg(table(), anyNullCondition()));
    if (!nulls)
        return nulls.error();
    return QPair<int, bool>(rows->toInt(), nulls->toInt() > 0);
}

Status SqliteRecordStore::completeQuerySlots(const QList<QPair<QString, QString>>& defaults)
{
    QSqlDatabase db = this->db();
    Transaction transaction(db);
    if (!transaction.started())
        return transaction.startError();

    Result<QVariant> rows = Sql::scalar(db, QStringLiteral("SELECT count(*) FROM %1").arg(table()));
    if (!rows)
        return rows.error();
    QStringList columns;
    QStringList placeholders;
    for (const QString& column : allQueryColumns()) {
        columns << Sql::identifier(column);
        placeholders << QStringLiteral("?");
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
                         QStringLiteral("UPDATE %1 SET %2 = ? WHERE %2 IS NULL")
                             .arg(table(), Sql::identifier(column)),
                         {blank});
            !updated)
            return updated.error();
    }
    return transaction.commit();
}
