#pragma once

#include "base/Result.h"
#include "store/Register.h"

#include <QString>

// Getting stored copies back out of the store: save as and send to desktop.
// Copies are streamed into a temporary file beside the target and replace it
// only when complete, so a failed overwrite leaves the user's file intact.
namespace RecordExport {

inline const QString notFoundText = QStringLiteral("文件未找到");

// Streams the open file `source` into `target` through a temporary file in
// the target's folder; `target` is replaced only after every byte was
// written, and gets the source's access and modification times (as cp -p).
Status copyFile(int source, const QString& target);

// Whether a name is taken in a folder: any entry counts (hidden files,
// folders and dangling links too), so a copy never overwrites one.
bool isTaken(const QString& path);

// The stored copy of `storedName`, or an error with notFoundText when the
// name is not a plain file name or no regular file (reached without
// following a link, in a store folder that is no link) exists under it.
Result<QString> existingStoredCopy(const Register& reg, const QString& storedName);

// A file name that cannot be written safely: undecodable bytes turned into
// U+FFFD (another name), or a place where the register keeps its own files
// (the database and its companions, the store folder). An error, or nothing.
Status checkTarget(const Register& reg, const QString& target);

// Save as: copies the stored copy to `target` (replacing it when it exists).
Status exportTo(const Register& reg, const QString& storedName, const QString& target);

// The user's desktop folder (the XDG desktop directory).
QString desktopFolder();

// A registered file name as a plain name for the desktop: folder separators
// of a damaged register become "_".
QString plainName(const QString& fileName);

// Where a copy of `FName` goes in `desktop`: the name itself when free, else
// base(n).ext for the first free n up to 10000; empty when none is free.
QString USERPROFILEFileName(const QString& desktop, const QString& FName);

// Send to desktop: copies the stored copy under the record's file name (or
// its first free numbered name) into `desktop`. Returns the path written.
Result<QString> sendToDesktop(const Register& reg, const QString& storedName,
                              const QString& fileName, const QString& desktop);

// Save as and send to desktop of the record `identity`, as the window and
// the command line both do them: the record is read afresh, so a record
// another program removed meanwhile gives ErrorCode::NotFound.
Status saveRecordAs(const Register& reg, qint64 identity, const QString& target);
Result<QString> sendRecordToDesktop(const Register& reg, qint64 identity, const QString& desktop);

} // namespace RecordExport
