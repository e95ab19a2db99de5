#pragma once

#include "base/Result.h"
#include "store/Audit.h"
#include "store/RecordFields.h"
#include "store/RecycleBin.h"
#include "store/SeenRecord.h"
#include "store/StoreTransaction.h"
#include "store/sql/ContentHash.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>

// A field of a saved query: its name, toolbar title and the seven search
// boxes in the search panel's order.
enum class QueryField {
    Name,
    Title,
    FileName,
    Recipient,
    Method,
    Earliest,
    Latest,
    Remark,
    Folder,
    Content,
    Count
};

// The values of a new record; insert() writes them as they are, so they are
// cut to their limits first. Every member has an initializer, so that a
// brace list may name only those it sets.
struct NewRecord {
    qint64 serial = 0;
    QDate date{}; // invalid: no date
    QString fileName{};
    QString storedName{};
    QString remark{};
    QString recipient{};
    QString method{};
    QString folder{};
};

// A record to add with the digest of its copy. Its serial is the store's
// to give.
struct DigestedRecord {
    NewRecord record;
    qint64 size = 0;
    QString hash;
};

// What addRecords gave one record: its identity and serial, and the first
// records registered before it with the same content, as sameContent()
// would have listed them just before its insert.
struct AddedRecord {
    qint64 identity = 0;
    qint64 serial = 0;
    QList<ContentHash::SameContent> sameContent;
};

// One record as the integrity check reads it.
struct CheckedRecord {
    qint64 identity = 0;
    QVariant serial; // as stored
    bool serialIsNumber = false;
    QString serialType; // what the serial is stored as, when not a number
    QString fileName;
    QVariant storedName; // as stored, Null kept
};

// The recorded size and hash of a record's copy.
struct RecordedDigest {
    QString storedName;
    qint64 size = 0;
    QString hash;
};

// A folder and how many of its records carry a send date.
struct FolderCount {
    QString name;
    qint64 dated = 0;
};

// Everything the program asks of the register's database. Records are named
// by their identity (never reused), fields by RecordField; no caller writes
// SQL. Calls marked "inside a write" expect the caller's beginWrite() to be
// open on this thread; the others run on their own.
class RecordStore {
public:
    virtual ~RecordStore() = default;

    // Whether the database could be opened at all.
    virtual bool connected() = 0;
    virtual Result<std::unique_ptr<StoreTransaction>> beginWrite() = 0;

    // Records.
    virtual Result<qint64> recordCount() = 0;
    // Identities of the records with `serial`, at most `limit` of them.
    virtual Result<QList<qint64>> identitiesWithSerial(qint64 serial, int limit) = 0;
    // The next serial for intake (inside a write): never one in use; an
    // error when no 64-bit integer is left.
    virtual Result<qint64> nextSerial() = 0;
    // Adds a record (inside a write); its identity.
    virtual Result<qint64> insert(const NewRecord& record) = 0;
    // Adds `records` in their order (inside a write), as nextSerial(),
    // sameContent(size, hash, sameLimit), insert() and recordDigest() for
    // each in turn would. On an error the write is to be rolled back.
    virtual Result<QList<AddedRecord>> addRecords(const QList<DigestedRecord>& records,
                                                  int sameLimit) = 0;
    // Nothing when `seen` is still there as it was seen; ErrorCode::Changed otherwise.
    virtual Status stillThere(const SeenRecord& seen) = 0;
    // Removes `seen` (inside a write), insisting that it went and nothing came back.
    virtual Status remove(const SeenRecord& seen) = 0;
    // How many records name the stored copy `storedName`.
    virtual Result<qint64> recordsNaming(const QString& storedName) = 0;
    // Whether a record (`identity` 0: any) names `storedName` now.
    virtual Result<bool> isNamed(const QString& storedName, qint64 identity = 0) = 0;
    // Writes `values` into every record of `records`, all or none, in one
    // transaction; none when one of them changed since it was seen.
    virtual Status updateFields(const QList<SeenRecord>& records,
                                const QList<QPair<RecordField, QString>>& values) = 0;
    // Exchanges two records' serials in one transaction, with the same checks.
    virtual Status swapSerials(const SeenRecord& first, const SeenRecord& second) = 0;

    // Value lists, kept by the register so a large one is never counted.
    // Values of `field` by use, most used first, then by value.
    virtual Result<QStringList> valuesByUse(RecordField field) = 0;
    // Non-empty folders, most dated records first, then by name.
    virtual Result<QList<FolderCount>> folderCounts() = 0;

    // Content hashes.
    // At most `limit` of them: a file registered many times over must not
    // make each further copy read all the earlier ones.
    virtual Result<QList<ContentHash::SameContent>> sameContent(qint64 size, const QString& hash,
                                                                int limit) = 0;
    // Records the copy's digest for `identity` (inside a write).
    virtual Status recordDigest(qint64 identity, qint64 size, const QString& hash) = 0;
    virtual Result<QHash<qint64, RecordedDigest>> digests() = 0;

    // For the integrity check: every record, by serial then identity.
    virtual Result<QList<CheckedRecord>> recordsBySerial() = 0;
    // The database engine's own check of its file; the faults it found. A
    // busy register gives an error with ErrorCode::Busy.
    virtual Result<QStringList> databaseFaults(bool full) = 0;

    // Saved queries: up to `count` rows in slot order, each with every
    // QueryField (a Null one as a null QVariant).
    virtual Result<QList<QVariantList>> querySlots(int count) = 0;
    // Writes `values` into slot `slot` (1-based), exactly that row.
    virtual Status writeQuerySlot(int slot, const QList<QPair<QueryField, QString>>& values) = 0;
    // How many slot rows there are and whether any holds a Null.
    virtual Result<QPair<int, bool>> querySlotShape() = 0;
    // Appends the slots of `defaults` (name and title of slot 1, 2, …) that
    // the table lacks, and turns Nulls into empty texts (a title into " "),
    // in one transaction.
    virtual Status completeQuerySlots(const QList<QPair<QString, QString>>& defaults) = 0;

    // The recycle bin. Calls marked "inside a write" expect beginWrite().
    // Copies record `identity` (with its digest) into the bin, inside a
    // write that then removes the record itself.
    virtual Status binMoveIn(qint64 identity, const QString& binName, const QString& deletedAt) = 0;
    // Newest deletion first.
    virtual Result<QList<RecycleBin::Entry>> binEntries() = 0;
    virtual Result<std::optional<RecycleBin::Entry>> binEntry(qint64 identity) = 0;
    virtual Result<QList<qint64>> binWithSerial(qint64 serial) = 0;
    // Entries deleted before `deletedAt` (same form as Entry::deletedAt).
    virtual Result<QList<qint64>> binDeletedBefore(const QString& deletedAt) = 0;
    // Whether an entry's copy is called `binName` in the bin folder.
    virtual Result<bool> binNameTaken(const QString& binName) = 0;
    // Whether a live record has this identity, this serial, or names this copy.
    virtual Result<bool> identityTaken(qint64 identity) = 0;
    virtual Result<bool> serialTaken(const QVariant& serial) = 0;
    virtual Result<bool> storedNameTaken(const QString& storedName) = 0;
    // Puts entry `identity` back as a record with `serial` and `storedName`
    // (under its own identity when `sameIdentity`), inside a write.
    virtual Status binMoveOut(qint64 identity, const QVariant& serial, const QString& storedName,
                              bool sameIdentity) = 0;
    // Removes entry `identity` from the bin, inside a write.
    virtual Status binRemove(qint64 identity) = 0;

    // A number that moves when another connection (another program, or
    // another thread of this one) committed a change, never for this
    // connection's own commits. Cheap enough to ask twice a second.
    virtual Result<qint64> changeCounter() = 0;

    // The history of changes to records, in the form Audit.h describes. The
    // write methods keep it themselves, each in the transaction of its
    // change: insert (登记), updateFields (修改, for each record whose values
    // differ), swapSerials (移动, one entry for each record), remove (删除)
    // and binMoveOut (恢复, under the identity as restored); the rest write
    // none. Gives the entries of the records `identities`, or of every record
    // when the list is empty, newest first: the later written first, whatever
    // the clocks of the programs that wrote them said.
    virtual Result<QList<Audit::Entry>> history(const QList<qint64>& identities) = 0;
};
