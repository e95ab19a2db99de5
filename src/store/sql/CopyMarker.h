#pragma once

#include "base/Result.h"
#include "store/Register.h"

#include <QString>

// Which register a register was copied from, kept in its own database: a
// copy interrupted half-way is told from any other register that holds
// records, so it can be finished and never mixed with another source.
namespace CopyMarker {

// The source named in `target`; an empty text when it names none.
Result<QString> read(const Register& target);

// Names `source` in `target`, in a transaction of its own.
Status write(const Register& target, const QString& source);

} // namespace CopyMarker
