#pragma once

#include "store/RegisterRecord.h"

#include <QList>
#include <QString>

// The recycle bin's table: a deleted record keeps every column it had, its
// identity (记录号, so a restore gives back the same record), when it was
// deleted, the name of its copy in the bin folder and its recorded digest.
// The copies themselves lie in the folder `folderName` inside the store.
namespace RecycleBin {

inline const QString table = QStringLiteral("回收站");
inline const QString deletedAtColumn = QStringLiteral("删除时间");
inline const QString binNameColumn = QStringLiteral("回收名"); // NULL: it had no copy
inline const QString sizeColumn = QStringLiteral("大小");
inline const QString hashColumn = QStringLiteral("校验");

// Inside the store folder; hidden, so that it is never taken for a copy.
inline const QString folderName = QStringLiteral(".回收站");

struct Entry {
    RegisterRecord record; // rowid is the record's identity; date as shown
    QString deletedAt;     // "yyyy-MM-dd HH:mm:ss", local time
    QString binName;       // empty when the record had no copy
    qint64 size = -1;      // recorded size, -1 when none was recorded
};

} // namespace RecycleBin
