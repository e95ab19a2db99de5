#pragma once

#include "base/Result.h"
#include "store/RecordStore.h"
#include "store/Register.h"
#include "store/sql/ContentHash.h"

#include <QDate>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class StoreFolder;

// Registering files: each file is copied into the store folder under its
// stored name and gets one new record with the next serial.
namespace Intake {

// What every file of one batch shares: the details of its records, whose
// serial and names each file gets of its own.
using Details = NewRecord;

// One file to register: where it is, and the name the record keeps.
struct File {
    QString sourcePath;
    QString fileName;
    // This file's own details, when a batch's files do not share them (an
    // import from another register); an invalid date is stored empty.
    std::optional<Details> details = std::nullopt;
    // When set, the file is read from this folder (sourcePath's last part
    // names it) without following a link, and only if it is a regular file:
    // for copies in another register's store.
    std::shared_ptr<const StoreFolder> within = nullptr;
    // Called inside the transaction that inserts this file's record, with
    // the record's identity and the copy's size and hash: for a caller that
    // notes where the file came from in the same commit as its record.
    std::function<Status(qint64 identity, qint64 size, const QString& hash)> recorded = {};

    // The file's own name, as the file system reports it.
    static File fromPath(const QString& path);
};

struct Outcome {
    enum Kind { Registered, EmptySkipped, Failed, Cancelled };
    Kind kind = Failed;
    QString fileName;
    qint64 serial = 0;
    QString storedName;
    Error error; // why it was not registered
    // Records registered earlier with the same content (the file is
    // registered anyway: the user may mean to), the first of them only.
    QList<ContentHash::SameContent> sameContent;
    bool moreSameContent = false; // further ones are not listed
};

inline const QString emptyFileMessage = QStringLiteral("不能保存大小为0的文件");

// "Already registered" note for a file whose content matches earlier
// records; empty when there are none.
QString sameContentNote(const Outcome& outcome);

// Called while a file is copied and once before it starts (bytesDone 0).
// `index` counts from 0 in the batch.
using Progress =
    std::function<void(int index, const QString& fileName, qint64 bytesDone, qint64 bytesTotal)>;

// Registers one file. The copy is streamed into a temporary name in the
// store folder, given its stored name (never over an existing file) inside
// the transaction that inserts the record, and flushed to disk with that
// name before the commit; when the record cannot be written the copy is
// removed. A missing source is reported, never created. `cancel` is polled
// while copying.
Outcome DdtaUp(const Register& reg, const File& file, const Details& details, int index = 0,
               const Progress& progress = {}, const std::atomic_bool* cancel = nullptr);

// Hears of each file's outcome as soon as it is final: a registered file
// right after the commit of its group, a failed one when it failed. A batch
// killed half-way has thus named every record it registered.
using Reported = std::function<void(int index, const Outcome& outcome)>;

// Registers the files in order. A file that fails does not stop the others;
// after `cancel` is set the remaining files are reported as Cancelled.
QList<Outcome> runBatch(const Register& reg, const QList<File>& files, const Details& details,
                        const Progress& progress = {}, const std::atomic_bool* cancel = nullptr,
                        const Reported& reported = {});

} // namespace Intake
