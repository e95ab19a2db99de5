#pragma once

#include "base/Result.h"
#include "store/Register.h"

#include <QStringList>

// The drop-down lists of the add and modify forms: fixed entries first, then
// the values already used, most used first. Comparisons are exact.
namespace LookupLists {

// "自己", "本地文档", then other non-empty recipients.
Result<QStringList> recipients(const Register& reg);

// Add form: "Email", "MSN", "传真", "QQ", "面呈", then other non-empty methods.
Result<QStringList> addFormMethods(const Register& reg);

// Modify form: a blank entry first, so an empty method can be picked.
Result<QStringList> modifyFormMethods(const Register& reg);

// Every folder used, the empty one as a blank entry.
Result<QStringList> folders(const Register& reg);

} // namespace LookupLists
