#pragma once

#include "base/Result.h"
#include "store/RecordStore.h"
#include "store/Register.h"
#include "store/SeenRecord.h"

#include <QList>

#include <optional>

// Changing the four editable details of records: remark, recipient, transfer
// method and folder. Name, date, stored name and serial are never changed.
namespace RecordModify {

enum class Field { Remark = 0, Recipient, Method, Folder, Count };

// The new values; a field left empty (nullopt) keeps its value.
struct Changes {
    std::optional<QString> values[static_cast<int>(Field::Count)];

    std::optional<QString>& operator[](Field field) { return values[static_cast<int>(field)]; }
    const std::optional<QString>& operator[](Field field) const
    {
        return values[static_cast<int>(field)];
    }
    bool isEmpty() const;
};

// The record field a field is, and how long a text it takes.
RecordField recordFieldOf(Field field);
int limitOf(Field field);

// Cuts a value to its column's limit as intake does, never splitting a
// character in two.
QString cut(Field field, const QString& value);

// Writes the changes to every record in `records`, all or none, in one
// transaction; none when any of them changed since it was seen. Values are
// cut to their limits first.
Status apply(const Register& reg, const QList<SeenRecord>& records, const Changes& changes);

} // namespace RecordModify
