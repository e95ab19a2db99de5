#pragma once

#include "base/Result.h"
#include "store/Register.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <atomic>
#include <functional>

// Looks at a register as a whole: is the database file itself sound (SQLite's
// quick check, or its full integrity check when verifying), does every
// record have its stored copy,
// does every file in the store folder belong to a record, are serials sound,
// and (when asked) is every copy still what was registered. The texts read
// from the copies must belong to them: repair queues what is missing and
// takes out what belongs to nothing. It reads only
// inside the store folder and never follows a stored name that is not a plain
// file name. The only files it ever changes are Quorvel's own leftovers of
// interrupted copies and deletes (see StoreFiles.h), and only when asked to:
// those of programs that are no longer running, however recent (LiveWriter.h).
namespace Integrity {

enum class Kind {
    MissingCopy,     // a record whose stored copy does not exist
    NotAFile,        // a record whose stored copy is a link, folder, FIFO or device
    SharedCopy,      // two records name the same stored copy
    BadStoredName,   // 路径 is empty or not a plain file name
    StrayFile,       // a file in the store folder that no record names
    Leftover,        // a working or lock file of a copy or delete whose program ended
    DuplicateSerial, // two or more records share a serial
    SerialNotNumber, // 文件序号 holds text or nothing
    SizeChanged,     // the copy's size differs from the recorded one
    ContentChanged,  // the copy's content hash differs from the recorded one
    Unreadable,      // the copy could not be read to verify it
    NotHashed,       // no hash was recorded for the copy, so it cannot be verified
    DatabaseDamaged, // SQLite's own check of the database file found faults
    BinMissingCopy,  // a record in the recycle bin whose copy is not in the bin folder
    BinStrayFile,    // a file in the bin folder that no record in the bin names
    TextMissing,       // a record whose copy's content is neither read nor queued
    TextWithoutRecord, // a text read from a content no record or bin entry has
};

// Which interrupted step of the recycle bin left a leftover.
enum class BinStep {
    None,
    BinName,   // a second name in the bin of a live record's copy (move in or restore)
    StoreName, // a second name in the store of a bin record's copy (move in or restore)
    Purging,   // a copy set aside by a purge
};

struct Finding {
    Kind kind = Kind::MissingCopy;
    qint64 rowid = 0;       // the record concerned, 0 for files no record names
    QVariant serial;        // its 文件序号 as stored
    QString recordName;     // its 文件名
    QString name;           // the name in the store folder (路径, or the file found)
    QString detail;         // what was found, technically
    bool removable = false; // a leftover that repair may remove (or put back)
    bool resolved = false;  // repair dealt with it
    QString resolution;     // what repair did, or why it could not
    BinStep binStep = BinStep::None;
    QString twin; // for BinName and StoreName: the other name of the file

    // Whether the user has to decide something about it.
    bool needsDecision() const;
    // A sentence for the user.
    QString text() const;
};

// A short label of the kind, for lists ("缺少副本", …).
QString kindLabel(Kind kind);

struct Options {
    // Hash every copy and compare with the recorded hash; check the
    // database's indexes against its tables as well.
    bool verify = false;
    bool repair = false; // remove (or put back) leftovers
    const std::atomic<bool>* cancelled = nullptr;
    // Called from the checking thread: records verified so far, of how many.
    std::function<void(qint64 done, qint64 total)> progress;
};

struct Report {
    qint64 records = 0;
    qint64 storeEntries = 0;
    qint64 binRecords = 0;
    bool verified = false;
    // Working files of programs still running (an add or a delete in
    // progress): neither findings nor ever touched.
    int inUse = 0;
    QList<Finding> findings;

    int needingDecision() const;
    int count(Kind kind) const;
    // Leftovers that repair would remove now.
    int removableLeftovers() const;
    // One line: what was checked and what was found.
    QString summary() const;
};

// Runs the check on `reg` from the calling thread (which gets its own
// database connection). Fails only when the register cannot be read at all.
Result<Report> check(const Register& reg, const Options& options = {});

} // namespace Integrity
