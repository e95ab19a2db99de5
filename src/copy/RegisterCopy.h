#pragma once

#include "base/Result.h"
#include "store/Register.h"

#include <QList>
#include <QString>

#include <functional>

// A whole register copied into another, of either kind: records with their
// fields and serials, the saved queries, the content hashes and the stored
// copies. The history starts anew in the copy (each record's entry tells
// when it was copied) and the recycle bin stays behind.
//
// Copies go first, each checked against the hash the source recorded, then
// records follow in batches of one write transaction each, so a copy killed
// at any moment leaves whole records only. The target must hold no records,
// or be a copy of the same source that was cut short: that one is finished
// (a marker in its database names its source).
namespace RegisterCopy {

// A record that was not copied whole.
struct Problem {
    QString serial;
    QString fileName;
    QString message;
};

struct Report {
    qint64 records = 0;   // in the target now
    qint64 resumed = 0;   // of them, copied by an earlier run
    qint64 copies = 0;    // stored copies written by this run
    qint64 hashedNow = 0; // copies whose source had no hash recorded
    int querySlots = 0;
    QList<Problem> problems;

    bool complete() const { return problems.isEmpty(); }
    QString summary() const;
};

struct Options {
    int batchRecords = 1000;
    // Hears how many records of `total` are done, every batch and at least
    // once a second.
    std::function<void(qint64 done, qint64 total)> progress = {};
};

Result<Report> run(const Register& source, const Register& target, const Options& options = {});

} // namespace RegisterCopy
