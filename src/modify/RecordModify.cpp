#include "modify/RecordModify.h"

#include "store/RecordStore.h"
#include "store/RegisterNames.h"

namespace RecordModify {

bool Changes::isEmpty() const
{
    for (const std::optional<QString>& value : values) {
        if (value)
            return false;
    }
    return true;
}

RecordField recordFieldOf(Field field)
{
    switch (field) {
    case Field::Remark:
        return RecordField::Remark;
    case Field::Recipient:
        return RecordField::Recipient;
    case Field::Method:
        return RecordField::Method;
    case Field::Folder:
    default:
        return RecordField::Folder;
    }
}

int limitOf(Field field)
{
    switch (field) {
    case Field::Remark:
        return RegisterNames::remarkLimit;
    case Field::Recipient:
        return RegisterNames::recipientLimit;
    case Field::Method:
        return RegisterNames::methodLimit;
    case Field::Folder:
    default:
        return RegisterNames::folderLimit;
    }
}

QString cut(Field field, const QString& value)
{
    const int limit = limitOf(field);
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
    for (int i = 0; i < static_cast<int>(Field::Count); ++i) {
        const Field field = static_cast<Field>(i);
        if (changes[field])
            values.append({recordFieldOf(field), cut(field, *changes[field])});
    }
    return reg.records()->updateFields(records, values);
}

} // namespace RecordModify
