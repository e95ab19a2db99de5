#pragma once

#include "base/Result.h"
#include "store/Register.h"
#include "store/content/ContentIndex.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <functional>

// The register's queue of copies to read and what became of them: one entry
// per distinct content, so a file registered many times is read once.
namespace ContentQueue {

struct Counts {
    qint64 waiting = 0;       // not read yet
    qint64 waitingForOcr = 0; // scans, for character recognition
    qint64 read = 0;
    qint64 skipped = 0;        // a reader failed on them
    qint64 notRead = 0;        // formats no reader takes
    qint64 textCharacters = 0; // of all texts read
    qint64 total() const { return waiting + waitingForOcr + read + skipped + notRead; }
};
Result<Counts> counts(const Register& reg);

// The copies a reader failed on, with a file name that holds each.
struct Skip {
    QString hash;
    QString fileName;
    QString reason;
};
Result<QList<Skip>> skips(const Register& reg, int limit = 1000);

// Entries in `state`, numbered after `after`, at most `limit`, in order of
// their numbers: the queue read a batch at a time.
struct Entry {
    qint64 number = 0;
    QString hash;
};
Result<QList<Entry>> entries(const Register& reg, ContentIndex::State state, qint64 after,
                             int limit);

// Runs `work` in one write transaction of the register.
Status written(const Register& reg, const std::function<Status(const QSqlDatabase&)>& work);

// Whether scans are read by character recognition (on unless switched off).
Result<bool> ocrEnabled(const Register& reg);
Status setOcrEnabled(const Register& reg, bool enabled);

// Every copy read again from the start: texts and index emptied, all queued.
Status requeueAll(const Register& reg);

// Takes out the texts of contents that no record and no entry of the bin has
// any more; returns how many went.
Result<qint64> dropUnused(const Register& reg);

// Gives the contents `target` still has to read what `source` read of the
// same contents (a copied register need not read its copies again); returns
// how many it took.
Result<qint64> copyTexts(const Register& source, const Register& target);

// Queues the recorded contents that have no entry; returns how many.
Result<qint64> queueMissing(const Register& reg);

} // namespace ContentQueue
