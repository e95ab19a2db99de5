#pragma once

#include "base/Result.h"
#include "store/Register.h"
#include "store/sql/InboxTable.h"

// A folder whose files are registered with preset details as they arrive
// (scans, downloads), then removed from it. Files that cannot be registered
// are moved to its sub-folder 未能登记, each with a note of why.
namespace Inbox {

using Settings = InboxTable::Settings;

inline const QString refusedFolder = QStringLiteral("未能登记");
// The note beside a refused file is named after it with this ending.
inline const QString noteSuffix = QStringLiteral(".原因.txt");

Result<Settings> settings(const Register& reg);
// Stores the settings; the folder must exist and lie outside the register's
// own folders, and is kept as an absolute path. No folder: no inbox.
Status setSettings(const Register& reg, Settings settings);

} // namespace Inbox
