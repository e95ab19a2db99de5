#pragma once

#include "base/Result.h"
#include "store/Register.h"

#include <QList>
#include <QString>

// The entries of the folder menu: every non-empty folder name, the folder
// with the most dated records first; folders with equal counts by name, so
// the menu does not reshuffle between rebuilds.
namespace FolderMenu {

struct Entry {
    QString name;
    qint64 count = 0; // records of the folder that have a send date
};

Result<QList<Entry>> load(const Register& reg);

} // namespace FolderMenu
