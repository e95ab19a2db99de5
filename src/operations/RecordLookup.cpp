#include "operations/RecordLookup.h"

#include "store/RecordStore.h"
#include "store/view/ViewConditions.h"
#include "store/view/ViewRst.h"

namespace RecordLookup {

Result<qint64> rowidForSerial(const Register& reg, const QString& serialText)
{
    bool ok = false;
    const qint64 serial = serialText.trimmed().toLongLong(&ok);
    if (!ok)
        return Error{QStringLiteral("“%1”不是一个序号。").arg(serialText), QString()};
    Result<QList<qint64>> found = reg.records()->identitiesWithSerial(serial, 2);
    if (!found)
        return found.error();
    if (found->isEmpty())
        return Error{QStringLiteral("没有序号为 %1 的记录。").arg(serial), QString(),
                     ErrorCode::NotFound};
    if (found->size() > 1)
        return Error{QStringLiteral("序号 %1 属于多条记录，无法确定是哪一条。").arg(serial),
                     QString()};
    return found->first();
}

Result<RegisterRecord> recordAt(const Register& reg, qint64 rowid)
{
    Result<std::shared_ptr<ViewRst>> view = ViewRst::open(reg, ViewConditions::identityIs(rowid));
    if (!view)
        return view.error();
    std::optional<RegisterRecord> record = view.value()->record(1);
    if (!record)
        return Error{QStringLiteral("该记录已不存在。"), QString::number(rowid),
                     ErrorCode::NotFound};
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
