#include "operations/RecordLookup.h"

#include "store/RegisterNames.h"
#include "store/Sql.h"
#include "store/ViewRst.h"

#include <QSqlQuery>

namespace RecordLookup {

Result<qint64> rowidForSerial(const Register& reg, const QString& serialText)
{
    bool ok = false;
    const qint64 serial = serialText.trimmed().toLongLong(&ok);
    if (!ok)
        return Error{QStringLiteral("“%1”不是一个序号。").arg(serialText), QString()};
    Result<QSqlQuery> query = Sql::run(reg.database(),
                                       QStringLiteral("SELECT rowid FROM %1 WHERE %2 = ? LIMIT 2")
                                           .arg(Sql::identifier(RegisterNames::recordTable),
                                                Sql::identifier(RegisterNames::serial)),
                                       {serial});
    if (!query)
        return query.error();
    if (!query->next())
        return Error{QStringLiteral("没有序号为 %1 的记录。").arg(serial), QString()};
    const qint64 rowid = query->value(0).toLongLong();
    if (query->next())
        return Error{QStringLiteral("序号 %1 属于多条记录，无法确定是哪一条。").arg(serial),
                     QString()};
    return rowid;
}

Result<RegisterRecord> recordAt(const Register& reg, qint64 rowid)
{
    ViewCondition condition{QStringLiteral("rowid = ?"), {rowid}};
    Result<std::shared_ptr<ViewRst>> view = ViewRst::open(reg, condition);
    if (!view)
        return view.error();
    std::optional<RegisterRecord> record = view.value()->record(1);
    if (!record)
        return Error{QStringLiteral("该记录已不存在。"), QString::number(rowid)};
    return *record;
}

Result<RegisterRecord> recordForSerial(const Register& reg, const QString& serialText)
{
    Result<qint64> rowid = rowidForSerial(reg, serialText);
    if (!rowid)
        return rowid.error();
    return recordAt(reg, rowid.value());
}

} // namespace RecordLookup
