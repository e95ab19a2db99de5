#pragma once

#include "base/Result.h"
#include "store/Register.h"
#include "store/SeenRecord.h"
#include "store/view/ViewRst.h"

// Moving a record up or down: it exchanges its serial with its neighbour's
// in the view, so the order holds in every view that shows both.
namespace RecordReorder {

// Exchanges the serials of two records in one transaction; nothing changes
// when either record changed since it was seen.
Status exchangeSerials(const Register& reg, const SeenRecord& first, const SeenRecord& second);

// Exchanges the record at `position` with the one above it, in the database
// and in `view`. Nothing happens for the first position or outside the view.
Status moveUp(ViewRst& view, int position);

// The same with the record below.
Status moveDown(ViewRst& view, int position);

} // namespace RecordReorder
