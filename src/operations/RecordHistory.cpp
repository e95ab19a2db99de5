#include "operations/RecordHistory.h"

#include "store/RecordStore.h"

namespace RecordHistory {

namespace {

// Enough for any register: equal serials come only from damaged or old ones.
constexpr int identitiesListed = 1000;

} // namespace

Result<QList<Audit::Entry>> all(const Register& reg)
{
    return reg.records()->history({});
}

Result<QList<Audit::Entry>> ofRecord(const Register& reg, qint64 identity)
{
    return reg.records()->history({identity});
}

Result<QList<Audit::Entry>> ofSerial(const Register& reg, qint64 serial)
{
    const std::unique_ptr<RecordStore> records = reg.records();
    Result<QList<qint64>> live = records->identitiesWithSerial(serial, identitiesListed);
    if (!live)
        return live.error();
    Result<QList<qint64>> binned = records->binWithSerial(serial);
    if (!binned)
        return binned.error();
    QList<qint64> identities = *live;
    for (const qint64 identity : *binned) {
        if (!identities.contains(identity))
            identities << identity;
    }
    if (identities.isEmpty())
        return Error{QStringLiteral("没有序号为 %1 的记录。").arg(serial), QString(),
                     ErrorCode::NotFound};
    return records->history(identities);
}

} // namespace RecordHistory
