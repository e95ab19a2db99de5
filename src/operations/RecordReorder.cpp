#include "operations/RecordReorder.h"

#include "store/RegisterNames.h"
#include "store/Sql.h"

#include <QSqlQuery>

namespace RecordReorder {

namespace {

Result<QVariant> serialOf(const QSqlDatabase& db, qint64 rowid)
{
    Result<QSqlQuery> query = Sql::run(db,
                                       QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?")
                                           .arg(Sql::identifier(RegisterNames::serial),
                                                Sql::identifier(RegisterNames::recordTable)),
                                       {rowid});
    if (!query)
        return query.error();
    if (!query->next())
        return Error{QStringLiteral("该记录已不存在，请刷新视图。"), QString::number(rowid)};
    return query->value(0);
}

Status setSerial(const QSqlDatabase& db, qint64 rowid, const QVariant& serial)
{
    const QString table = Sql::identifier(RegisterNames::recordTable);
    const QString column = Sql::identifier(RegisterNames::serial);
    Result<QSqlQuery> query =
        Sql::run(db, QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ?").arg(table, column),
                 {serial, rowid});
    if (!query)
        return query.error();
    // A trigger may skip the change or undo it.
    Result<QVariant> holds = Sql::scalar(
        db,
        QStringLiteral("SELECT count(*) FROM %1 WHERE rowid = ? AND %2 IS ?").arg(table, column),
        {rowid, serial});
    if (!holds)
        return holds.error();
    if (query->numRowsAffected() != 1 || holds->toLongLong() != 1)
        return Error{notAppliedText, QString::number(rowid)};
    return {};
}

} // namespace

Status exchangeSerials(const Register& reg, const SeenRecord& firstRecord,
                       const SeenRecord& secondRecord)
{
    QSqlDatabase db = reg.database();
    Transaction transaction(db);
    if (!transaction.started())
        return transaction.startError();
    for (const SeenRecord* record : {&firstRecord, &secondRecord}) {
        if (Status same = record->stillThere(db); !same)
            return same;
    }
    const qint64 firstRowid = firstRecord.rowid;
    const qint64 secondRowid = secondRecord.rowid;
    Result<QVariant> first = serialOf(db, firstRowid);
    if (!first)
        return first.error();
    Result<QVariant> second = serialOf(db, secondRowid);
    if (!second)
        return second.error();
    if (first.value() == second.value())
        // Exchanging equal serials would change nothing the view shows.
        return Error{QStringLiteral("两条记录的序号相同，无法移动。"), first->toString()};
    if (Status set = setSerial(db, firstRowid, second.value()); !set)
        return set;
    if (Status set = setSerial(db, secondRowid, first.value()); !set)
        return set;
    return transaction.commit();
}

Status moveUp(ViewRst& view, int position)
{
    if (position <= 1 || position > view.recordCount())
        return {};
    // The records as the view shows them, which is what the person saw.
    const std::optional<RegisterRecord> above = view.record(position - 1);
    const std::optional<RegisterRecord> below = view.record(position);
    if (!above || !below)
        return Error{changedText, QString::number(view.keyAt(position))};
    if (Status exchanged =
            exchangeSerials(view.registerStore(), SeenRecord::of(*above), SeenRecord::of(*below));
        !exchanged)
        return exchanged;
    view.exchange(position - 1, position);
    return {};
}

Status moveDown(ViewRst& view, int position)
{
    if (position < 1 || position >= view.recordCount())
        return {};
    return moveUp(view, position + 1);
}

} // namespace RecordReorder
