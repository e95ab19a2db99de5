#pragma once

#include "store/sql/ContentHash.h"

#include <QtGlobal>

#include <atomic>
#include <functional>

// The byte copy under the intake: source to store, at the speed of the disk.
namespace FileCopy {

// Copies `source` into `target` from their current offsets until the end of
// the source, and hashes the bytes as they stand in the copy. `target` must
// be open for reading and writing. Write-back to the disk starts while the
// copy goes on, so the final flush has little left to do; memory use stays
// at one buffer whatever the size. `report` gets the bytes done after each
// step. Returns 0, the errno of the failure, or ECANCELED once `cancel` is
// set (polled only while bytes of `expected` are still missing).
int copy(int source, int target, qint64 expected, ContentHash::Hasher& hasher,
         const std::function<void(qint64)>& report = {}, const std::atomic_bool* cancel = nullptr);

} // namespace FileCopy
