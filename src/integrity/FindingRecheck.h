#pragma once

#include "integrity/IntegrityCheck.h"
#include "store/RecordStore.h"
#include "store/folder/StoreFolder.h"

#include <functional>

// A program in the middle of a change shows, for a moment, what would be a
// fault once it stood still: a copy named before its record commits, a
// record gone while its copy's second name waits to be dropped, a bin entry
// read before a restore and its file after, a working file listed just
// before its program was done with it. The check reads the database
// and the folders one after the other, so it may catch such a moment. Each
// finding of those kinds is looked at again under the register's write
// lock, where no program is inside its transaction; one about a file with a
// second name, again a little later, after the step that follows a commit,
// and so is every one when the lock could not be had. Only what still holds
// is reported.
namespace Integrity {

void dropPassingStates(const Register& reg, const StoreFolder& store, QList<Finding>& findings);

// Runs `ask` on this thread's records, under the register's write lock when
// it can be had, so that no program is inside its change while it reads. A
// register that cannot be written (read-only, or held longer than the busy
// wait) is read afresh without it, and `tryLock` is cleared so that later
// calls do not wait for it again.
void underWriteLock(const Register& reg, bool& tryLock,
                    const std::function<void(RecordStore& records)>& ask);

} // namespace Integrity
