#include "store/view/ViewConditions.h"

#include "base/DateText.h"
#include "store/RegisterNames.h"

namespace ViewConditions {

using Kind = ViewCondition::Kind;

ViewCondition identityIs(qint64 identity)
{
    return {.kind = Kind::IdentityIs, .number = identity};
}

ViewCondition sentByMe()
{
    return {.kind = Kind::FieldOtherThan,
            .field = RecordField::Recipient,
            .texts = {RegisterNames::recipientSelf, RegisterNames::recipientLocal}};
}

ViewCondition fieldIs(RecordField field, const QString& value)
{
    return {.kind = Kind::FieldIs, .field = field, .text = value};
}

ViewCondition folderIs(const QString& name)
{
    return fieldIs(RecordField::Folder, name);
}

ViewCondition allOf(const ViewCondition& first, const ViewCondition& second)
{
    if (first.isEmpty())
        return second;
    if (second.isEmpty())
        return first;
    return {.kind = Kind::Both, .sides = {first, second}};
}

ViewCondition dateFrom(const QDate& day)
{
    return {.kind = Kind::DateFrom, .field = RecordField::Date, .text = DateText::toStored(day)};
}

ViewCondition dateBefore(const QDate& day)
{
    return {.kind = Kind::DateBefore, .field = RecordField::Date, .text = DateText::toStored(day)};
}

ViewCondition contains(RecordField field, const QString& text)
{
    return {.kind = Kind::Contains, .field = field, .text = text};
}

ViewCondition indexedContains(RecordField field, const QString& text)
{
    return {.kind = Kind::IndexedContains, .field = field, .text = text};
}

ViewCondition contentContains(const QString& text)
{
    return {.kind = Kind::ContentContains, .text = text};
}

QString likeLiteral(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size() + 2);
    escaped += QLatin1Char('%');
    for (const QChar c : text) {
        if (c == QLatin1Char('%') || c == QLatin1Char('_') || c == QLatin1Char('\\'))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    escaped += QLatin1Char('%');
    return escaped;
}

} // namespace ViewConditions
