#pragma once

#include "store/RecycleBin.h"

// The statement that makes the bin's table in an SQLite register (PgSchema
// makes a server's); SqlRecordStore reads and writes it on both kinds.
namespace RecycleBin {

QString createTable();

} // namespace RecycleBin
