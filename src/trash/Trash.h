#pragma once

#include "base/Result.h"
#include "store/Register.h"
#include "store/folder/StoreFolder.h"

#include <QString>
#include <QVariant>

#include <optional>

class RecordStore;

// The recycle bin's operations on records already in it. Moving a record in
// is the delete (RecordDelete.h). Every step keeps the rule of the store: a
// kill at any moment leaves the record whole on one side, with at most an
// extra name of its copy on the other, which the integrity check recognises
// as a leftover (BinCheck.h).
namespace Trash {

// The bin folder inside the store, made when missing and `create` is set.
Result<StoreFolder> openBin(const StoreFolder& store, bool create);

// The local time of a deletion as the bin keeps it.
QString now();

// The name a copy gets in the bin: its stored name, or a fresh one when an
// entry of the bin holds that name already. Inside the write transaction.
Result<QString> binNameFor(RecordStore& records, const StoreFolder& bin, const QString& storedName);

struct Restored {
    QString fileName;
    QVariant oldSerial;
    QVariant serial;
    QString oldStoredName;
    QString storedName;

    bool serialChanged() const { return oldSerial != serial; }
    bool storedNameChanged() const { return oldStoredName != storedName; }
};

// Puts bin entry `identity` back: its record, under its identity and its
// serial when that is free (else the next serial), and its copy under its
// stored name when that is free in the store (else a fresh name).
Result<Restored> restore(const Register& reg, qint64 identity);

// Removes bin entry `identity` and its copy for good.
Status purge(const Register& reg, qint64 identity);

// A purged copy is set aside under ".quorvel-purging-<owner>-<identity>"
// until its entry is gone; the owner is the purging program's LiveWriter.
QString purgingName(const QString& owner, qint64 identity);
struct Purging {
    QString owner;
    qint64 identity = 0;
};
std::optional<Purging> parsePurgingName(const QString& name);

} // namespace Trash
