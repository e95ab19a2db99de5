#pragma once

#include "base/Result.h"
#include "base/StepProgress.h"
#include "store/sql/ContentHash.h"
#include "store/sql/RecordWriter.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// A register database built whole from another register's contents, under
// a working name that takes the register's name only when complete.
namespace WorkingRegister {

struct Content {
    QList<RecordWriter::FullRecord> records;
    // Per record: the digest of its copy, or nothing when it has none.
    QList<std::optional<ContentHash::Digest>> digests;
    QList<QStringList> slots; // up to nine, each with the nine query columns
    // When set, each record gets one history entry of this action.
    QString historyAction;
};

// Writes `content` into a new database at `path` with no journal and no
// syncs while filling it (a crash leaves a working file that the caller
// removes; the caller flushes it once, whole), then checks it: the database
// engine finds it sound and it holds every record. `progress` hears
// (record, records) every 256 records.
Status write(const QString& path, const Content& content, const StepProgress& progress);

} // namespace WorkingRegister
