#pragma once

#include "base/Result.h"
#include "store/RecordStore.h"
#include "store/Register.h"
#include "store/SeenRecord.h"

#include <QList>

#include <optional>

// Changing the editable details of records, the fields RecordFields marks
// modifiable. Name, date, stored name and serial are never changed.
namespace RecordModify {

using Field = RecordField;

// The new values; a field left empty (nullopt) keeps its value.
struct Changes {
    std::optional<QString> values[RecordFields::count];

    std::optional<QString>& operator[](Field field) { return values[static_cast<int>(field)]; }
    const std::optional<QString>& operator[](Field field) const
    {
        return values[static_cast<int>(field)];
    }
    bool isEmpty() const;
};

// Cuts a value to its column's limit as intake does, never splitting a
// character in two.
QString cut(Field field, const QString& value);

// Writes the changes to every record in `records`, all or none, in one
// transaction; none when any of them changed since it was seen. Values are
// cut to their limits first.
Status apply(const Register& reg, const QList<SeenRecord>& records, const Changes& changes);

} // namespace RecordModify
