#pragma once

#include "integrity/IntegrityCheck.h"
#include "store/RecordStore.h"
#include "store/folder/LiveWriter.h"
#include "store/folder/StoreFolder.h"
#include "store/sql/ContentHash.h"

#include <QHash>
#include <QList>

#include <atomic>
#include <optional>

class BinCheck;

// The steps of one run of the check, each in a file of its own, and what
// they share: the records as read, and what each step leaves for the next.
namespace Integrity {

using RecordRow = CheckedRecord;

struct CheckRun {
    CheckRun(const Register& reg, const Options& options, const StoreFolder& store,
             RecordStore& records, Report& report)
        : reg(reg), options(options), store(store), records(records), report(report),
          probe(store.path())
    {
    }

    const Register& reg;
    const Options& options;
    const StoreFolder& store;
    RecordStore& records;
    Report& report;
    QHash<qint64, RecordedDigest> digests;
    QHash<QString, const RecordRow*> named; // stored name -> first record naming it
    QList<const RecordRow*> toVerify;       // records whose copy is there, size as recorded
    QList<Finding> missing;                 // records whose copy does not exist
    // Working files of a running program are its own; of one that has ended,
    // leftovers (LiveWriter.h).
    LiveProbe probe;
};

// Each record's copy: named once, plainly, present, a file, of its size.
void checkCopies(CheckRun& run, const QList<RecordRow>& rows);
// The recycle bin's records and folder. Fails when the bin cannot be read.
Status checkBin(CheckRun& run, BinCheck& binCheck);
// Everything else in the store folder: strays and leftovers.
void checkStoreFolder(CheckRun& run, const BinCheck& binCheck);
// Every copy's content hashed and compared. Fails only when cancelled.
Status verifyCopies(CheckRun& run);
// Records without an entry for their copy's text, and texts of nothing;
// with repair, queues the one and takes out the other.
Status checkContent(CheckRun& run);
// Removes (or puts back) the leftovers found removable.
void repairLeftovers(CheckRun& run);

Finding recordFinding(Kind kind, const RecordRow& row, const QString& detail = {});
// A serial as a person reads it, "（空）" for none.
QString serialText(const QVariant& serial);
// Whether a record names `storedName` now (identity 0: any record), read
// afresh: a program that finished after the records were read may have
// committed it.
// A question that cannot be answered counts as named, so that nothing is
// removed or reported on a guess.
bool namedNow(RecordStore& records, const QString& storedName, qint64 identity = 0);
// The digest of the regular file `name` of the store, never following a link.
Result<ContentHash::Digest> digestOf(const StoreFolder& store, const QString& name,
                                     const std::atomic<bool>* cancelled);

} // namespace Integrity
