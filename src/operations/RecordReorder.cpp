#include "operations/RecordReorder.h"

#include "store/RecordStore.h"

namespace RecordReorder {

Status exchangeSerials(const Register& reg, const SeenRecord& first, const SeenRecord& second)
{
    return reg.records()->swapSerials(first, second);
}

Status moveUp(ViewRst& view, int position)
{
    if (position <= 1 || position > view.recordCount())
        return {};
    // The records as the view shows them, which is what the person saw.
    const std::optional<RegisterRecord> above = view.record(position - 1);
    const std::optional<RegisterRecord> below = view.record(position);
    if (!above || !below)
        return Error{changedText, QString::number(view.keyAt(position)), ErrorCode::Changed};
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
