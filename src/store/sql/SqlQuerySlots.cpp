#include "store/RegisterNames.h"
#include "store/sql/QueryColumns.h"
#include "store/sql/Sql.h"
#include "store/sql/SqlRecordStore.h"

#include <QSqlQuery>

// The table of saved queries. Slot N is the N-th row in the order of the
// dialect's queryOrder().

namespace {

using Sql::identifier;

QString table()
{
    return identifier(RegisterNames::queryTable);
}

// An empty text, never Null: the table holds the empty string for an unused
// criterion, and a null QString would be bound as Null.
QVariant text(const QString& value)
{
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

QStringList quotedColumns()
{
    QStringList columns;
    for (const QString& column : allQueryColumns())
        columns << identifier(column);
    return columns;
}

} // namespace

Result<QList<QVariantList>> SqlRecordStore::querySlots(int count)
{
    const QStringList columns = quotedColumns();
    Result<QSqlQuery> query = Sql::run(db(),
                                       QStringLiteral("SELECT %1 FROM %2 ORDER BY %3 LIMIT %4")
                                           .arg(columns.join(QStringLiteral(", ")), table(),
                                                m_dialect.queryOrder(), m_dialect.count()),
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
Status SqlRecordStore::writeQuerySlot(int slot, const QList<QPair<QueryField, QString>>& values)
{
    return m_dialect.retried([&] { return writeSlotOnce(slot, values); });
}

Status SqlRecordStore::writeSlotOnce(int slot, const QList<QPair<QueryField, QString>>& values)
{
    const QString order = m_dialect.queryOrder();
    Result<QVariant> row =
        Sql::scalar(db(),
                    QStringLiteral("SELECT %2 FROM %1 ORDER BY %2 LIMIT 1 OFFSET %3")
                        .arg(table(), order, m_dialect.count()),
                    {slot - 1});
    if (!row)
        return row.error();
    if (row->isNull())
        return Error{QStringLiteral("自定义查询表中没有第%1个查询。").arg(slot), QString(),
                     ErrorCode::NotFound};
    QStringList assignments;
    QVariantList bound;
    for (const auto& [field, value] : values) {
        assignments << identifier(queryColumnOf(field)) + QStringLiteral(" = ") + m_dialect.text();
        bound << text(value);
    }
    bound << row->toLongLong();
    Result<QSqlQuery> updated =
        Sql::run(db(),
                 QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
                     .arg(table(), assignments.join(QStringLiteral(", ")), order),
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

Result<QPair<int, bool>> SqlRecordStore::querySlotShape()
{
    // A table made before the content box lacks its column: repair adds it.
    Result<bool> complete = hasContentColumn();
    if (!complete)
        return complete.error();
    if (!*complete) {
        Result<QVariant> rows =
            Sql::scalar(db(), QStringLiteral("SELECT count(*) FROM %1").arg(table()));
        if (!rows)
            return rows.error();
        return QPair<int, bool>(rows->toInt(), true);
    }
    QStringList tests;
    for (const QString& column : quotedColumns())
        tests << column + QStringLiteral(" IS NULL");
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

Status SqlRecordStore::completeQuerySlots(const QList<QPair<QString, QString>>& defaults)
{
    return m_dialect.retried([&] { return completeOnce(defaults); });
}

Result<bool> SqlRecordStore::hasContentColumn()
{
    Result<QVariant> count =
        Sql::scalar(db(), m_dialect.columnCount(),
                    {RegisterNames::queryTable, queryColumnOf(QueryField::Content)});
    if (!count)
        return count.error();
    return count->toInt() == 1;
}

Status SqlRecordStore::completeOnce(const QList<QPair<QString, QString>>& defaults)
{
    const QSqlDatabase db = this->db();
    Transaction transaction(db);
    if (!transaction.started())
        return transaction.startError();
    // The whole table, so two programs never both append the missing slots.
    if (Status locked = m_dialect.lockTable(db, RegisterNames::queryTable); !locked)
        return locked;
    Result<bool> complete = hasContentColumn();
    if (!complete)
        return complete.error();
    if (!*complete) {
        const QString add = QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 TEXT NOT NULL DEFAULT ''")
                                .arg(table(), identifier(queryColumnOf(QueryField::Content)));
        if (Result<QSqlQuery> added = Sql::run(db, add); !added)
            return added.error();
    }
    Result<QVariant> rows = Sql::scalar(db, QStringLiteral("SELECT count(*) FROM %1").arg(table()));
    if (!rows)
        return rows.error();
    const QStringList columns = quotedColumns();
    QStringList placeholders;
    for (qsizetype i = 0; i < columns.size(); ++i)
        placeholders << m_dialect.text();
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
                         QStringLiteral("UPDATE %1 SET %2 = %3 WHERE %2 IS NULL")
                             .arg(table(), identifier(column), m_dialect.text()),
                         {blank});
            !updated)
            return updated.error();
    }
    return transaction.commit();
}
