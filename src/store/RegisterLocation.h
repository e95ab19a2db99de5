#pragma once

#include <QString>

// Where the register folder is (or the postgresql:// URL of a register on a
// server, passed on unchanged): the --register option, then QUORVEL_REGISTER,
// then the program's own folder when it already holds a register (portable
// layout), else the per-user data folder.
namespace RegisterLocation {

QString resolve(const QString& optionFolder = QString());

} // namespace RegisterLocation
