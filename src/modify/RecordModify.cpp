#include "modify/RecordModify.h"

#include "store/RecordStore.h"

namespace RecordModify {

bool Changes::isEmpty() const
{
    for (const std::optional<QString>& value : values) {
        if (value)
            return false;
    }
    return true;
}

QString cut(Field field, const QString& value)
{
    const int limit = RecordFields::of(field).limit;
    if (value.size() <= limit)
        return value;
    qsizetype length = limit;
    // Keep a surrogate pair whole: drop its first half rather than split it.
    if (value.at(length - 1).isHighSurrogate())
        --length;
    return value.left(length);
}

Status apply(const Register& reg, const QList<SeenRecord>& records, const Changes& changes)
{
    QList<QPair<RecordField, QString>> values;
    for (const RecordFields::Field& field : RecordFields::all()) {
        if (field.modifiable && changes[field.field])
            values.append({field.field, cut(field.field, *changes[field.field])});
    }
    return reg.records()->updateFields(records, values);
}

} // namespace RecordModify
