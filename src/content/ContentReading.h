#pragma once

#include "base/Result.h"
#include "content/ReaderProcess.h"
#include "store/Register.h"

#include <atomic>
#include <functional>

// Reads the queued copies, one distinct content at a time, and keeps what
// each reader found. A kill or a restart loses at most the copy being read:
// each result is committed on its own, and what is still queued stays so.
namespace ContentReading {

struct Progress {
    qint64 done = 0;  // read in this run
    qint64 total = 0; // done plus what was queued when it began
    QString fileName; // the copy being read
    bool ocr = false; // the character-recognition pass
};

struct Summary {
    qint64 read = 0;
    qint64 skipped = 0;
    qint64 notRead = 0;
    qint64 waitingForOcr = 0; // left for recognition (switched off)
};

struct Options {
    ReaderLimits limits;
    // At most this many copies (negative: all).
    qint64 limit = -1;
};

// Reads until nothing is queued or `stop` turns true; scans are read after
// everything else, and only while recognition is switched on.
Result<Summary> run(const Register& reg, const Options& options = {},
                    const std::function<void(const Progress&)>& progress = {},
                    const std::atomic<bool>* stop = nullptr);

} // namespace ContentReading
