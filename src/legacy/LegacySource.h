#pragma once

#include "base/Result.h"
#include "store/folder/StoreFolder.h"
#include "store/sql/RecordWriter.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

// An old register folder read whole into memory (the records are small: a
// few hundred bytes each), with what its store folder holds checked against
// the records. The folder is only read.
namespace Legacy {

inline const QString legacyQueryName = QStringLiteral("自定义查询");

struct SourceRecord {
    RecordWriter::FullRecord record; // serial already decided
    QString oldSerial;               // as the old file held it; empty for Null
    // NotAFile: a link, folder, pipe or device under the stored name, which
    // is never read (the record is kept; `notAFile` says what it is).
    enum Copy { Present, Missing, Hostile, NotAFile } copy = Present;
    QString notAFile;
};

struct Source {
    QString folder;
    QList<SourceRecord> records; // in the new serial order
    bool renumbered = false;
    QList<QStringList> slots;   // up to nine, each with the nine query columns
    QStringList queriesLeftOut; // names of the rows after the ninth
    bool queryTableMissing = false;
    QStringList strayFiles; // store files no record names
    // The store folder held open (never through a link); null when there is
    // none. Copies are read through it only.
    std::shared_ptr<const StoreFolder> store;

    QString databasePath() const;
    QString storeFolder() const;
};

// "2006-05-01" from a Jet day number; empty for Null and the zero date.
QString dateFromJet(const QVariant& days);

// Reads the old register in `folder` (its 文件管理.mdb must be a Jet file).
// Fails, reading nothing, when the file is damaged (see LegacyReader) or the
// store folder is a link or not a folder.
Result<Source> readSource(const QString& folder);

} // namespace Legacy
