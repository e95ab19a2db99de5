#pragma once

#include "base/Result.h"
#include "store/RegisterRecord.h"

#include <QSqlDatabase>
#include <QString>

// A record as the person saw it when they chose to act on it: its identity
// and its stored name. Another program may have deleted or replaced it since,
// so every change made on the person's word checks it first, inside the
// change's own transaction.
struct SeenRecord {
    qint64 rowid = 0;
    QString storedName;

    static SeenRecord of(const RegisterRecord& record) { return {record.rowid, record.storedName}; }

    // Nothing when the record is still there with the same stored name;
    // otherwise an error with changedText.
    Status stillThere(const QSqlDatabase& db) const;
};

inline const QString changedText = QStringLiteral("记录已被其他程序更改，未做任何操作。");

// For a statement that did not change what it should have (a trigger of the
// register undid or redirected it): nothing of the change is kept.
inline const QString notAppliedText =
    QStringLiteral("登记库没有按要求写入更改（可能有触发器干预），未做任何操作。");
