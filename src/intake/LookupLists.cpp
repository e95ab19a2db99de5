#include "intake/LookupLists.h"

#include "store/RecordStore.h"
#include "store/RegisterNames.h"

namespace LookupLists {

namespace {

const QStringList fixedMethods = {QStringLiteral("Email"), QStringLiteral("MSN"),
                                  QStringLiteral("传真"), QStringLiteral("QQ"),
                                  QStringLiteral("面呈")};

// Values already used, most used first (ties in the order of the values);
// NULL is never listed.
Result<QStringList> fixedThenUsed(const Register& reg, RecordField field, QStringList list,
                                  bool keepEmpty)
{
    Result<QStringList> used = reg.records()->valuesByUse(field);
    if (!used)
        return used.error();
    const QStringList fixed = list;
    for (const QString& value : used.value()) {
        if ((value.isEmpty() && !keepEmpty) || fixed.contains(value))
            continue;
        list << value;
    }
    return list;
}

} // namespace

Result<QStringList> recipients(const Register& reg)
{
    return fixedThenUsed(reg, RecordField::Recipient,
                         {RegisterNames::recipientSelf, RegisterNames::recipientLocal}, false);
}

Result<QStringList> addFormMethods(const Register& reg)
{
    return fixedThenUsed(reg, RecordField::Method, fixedMethods, false);
}

Result<QStringList> modifyFormMethods(const Register& reg)
{
    Result<QStringList> list = addFormMethods(reg);
    if (list)
        list->prepend(QString());
    return list;
}

Result<QStringList> folders(const Register& reg)
{
    return fixedThenUsed(reg, RecordField::Folder, {}, true);
}

} // namespace LookupLists
