#pragma once

#include <QString>

// Names of the files Quorvel itself writes into the store folder besides the
// stored copies. Anything that writes or removes stored copies uses these, so
// that the integrity check can tell an interrupted step from a user's file.
//
// Copying into the store: the bytes go to partName() in the store folder and
// the file is renamed to its stored name only when complete and flushed. A
// crash leaves a ".quorvel-part-…" file, which is never anyone's only copy.
//
// Deleting a stored copy: the copy is first renamed to deletingName(), then
// the record is deleted in a transaction, then the set-aside file is removed;
// when the transaction fails the file is renamed back. A crash leaves a
// ".quorvel-deleting-…" file that may still belong to a record whose copy is
// now missing, so the check keeps it in that case.
//
// No stored copy may be given a name that isReserved() accepts.
namespace StoreFiles {

inline const QString partPrefix = QStringLiteral(".quorvel-part-");
inline const QString deletingPrefix = QStringLiteral(".quorvel-deleting-");

// A fresh name of each kind: the prefix and ten random letters or digits.
QString partName();
QString deletingName();

// Whether `name` (a file name, no folder) has the form partName() or
// deletingName() produce.
bool isPartName(const QString& name);
bool isDeletingName(const QString& name);
bool isLeftover(const QString& name);

// Names that start like Quorvel's own working files; never a stored name.
bool isReserved(const QString& name);

} // namespace StoreFiles
