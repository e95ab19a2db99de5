#pragma once

#include "base/Result.h"
#include "store/Register.h"
#include "store/RegisterRecord.h"

// Finding records by the serial a person sees, for the command line.
namespace RecordLookup {

// The rowid of the one record with serial `serialText`; an error when the
// text is not a whole number, no record has it, or several do.
Result<qint64> rowidForSerial(const Register& reg, const QString& serialText);

// The record's values as a view shows them.
Result<RegisterRecord> recordAt(const Register& reg, qint64 rowid);

// The record with serial `serialText`, with the errors of rowidForSerial.
Result<RegisterRecord> recordForSerial(const Register& reg, const QString& serialText);

} // namespace RecordLookup
