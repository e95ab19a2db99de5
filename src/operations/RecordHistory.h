#pragma once

#include "base/Result.h"
#include "store/Audit.h"
#include "store/Register.h"

// What was done to records, as the register's history keeps it.
namespace RecordHistory {

// The entries of every record, newest first.
Result<QList<Audit::Entry>> all(const Register& reg);

// The entries of record `identity`, newest first.
Result<QList<Audit::Entry>> ofRecord(const Register& reg, qint64 identity);

// The entries of the records whose serial is `serial` now, in the register
// or in the bin: a move changes serials, so the record is found by what it
// is called today and followed by its identity. ErrorCode::NotFound when no
// record has that serial.
Result<QList<Audit::Entry>> ofSerial(const Register& reg, qint64 serial);

} // namespace RecordHistory
