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
    Result<QSqlQuery> query = Sql::run(db,
                                       QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ?")
                                           .arg(Sql::identifier(RegisterNames::recordTable),
                                                Sql::identifier(RegisterNames::serial)),
                                       {serial, rowid});
    if (!query)
        return query.error();
    return {};
}

} // namespace

Status exchangeSerials(const Register& reg, qint64 firstRowid, qint64 secondRowid)
{
    QSqlDatabase db = reg.database();
    Transaction transaction(db);
    if (!transaction.started())
        return transaction.startError();
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
    if (Status exchanged =
            exchangeSerials(view.registerStore(), view.keyAt(position - 1), view.keyAt(position));
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
