#pragma once

#include "base/Result.h"
#include "store/Register.h"
#include "store/SeenRecord.h"

// Deleting a record: it moves with its stored copy into the recycle bin
// (Trash.h), both or neither, and leaves every view and search.
namespace RecordDelete {

inline const QString lockedText = QStringLiteral("文件处于打开状态，不能删除！");

// Moves the record `seen` and its stored copy into the bin. A record that is
// gone or holds another stored name by now (ErrorCode::Changed), and a copy
// that another program holds open (lockedText, ErrorCode::Busy), stop the
// delete before anything changed. A missing copy (or a
// stored name that is not a plain file name, which never names a file of the
// store) lets the record go alone; no file outside the store is ever touched.
// A copy another record names too stays for that record (the bin gets a
// second name of it). A store entry that
// is not a regular file (a link, folder, FIFO or device), or a store folder
// that is a link, stops the delete: it is for the user to look at, never
// something to remove or follow.
Status deleteRecord(const Register& reg, const SeenRecord& seen);

} // namespace RecordDelete
