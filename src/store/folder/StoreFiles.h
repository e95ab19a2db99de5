#pragma once

#include <QString>

// Names of the files Quorvel itself writes into the store folder besides the
// stored copies. Anything that writes or removes stored copies uses these, so
// that the integrity check can tell an interrupted step from a user's file.
//
// Copying into the store: the bytes go to partName() in the store folder and
// the file gets its stored name (a second link, dropped again after the
// record is committed) only when complete and flushed. A crash leaves a
// ".quorvel-part-…" file, which is never anyone's only copy, and perhaps the
// same file under a stored name no record has yet.
//
// Deleting a stored copy: the copy is first renamed to deletingName(), then
// the record is deleted in a transaction, then the set-aside file is removed;
// when the transaction fails the file is renamed back. A crash leaves a
// ".quorvel-deleting-…" file that may still belong to a record whose copy is
// now missing, so the check keeps it in that case.
//
// Both kinds carry the owner of the program writing them (see LiveWriter.h):
// while that program lives its files are never touched; once it is gone they
// are leftovers at once.
//
// No stored copy may be given a name that isReserved() accepts.
namespace StoreFiles {

inline const QString partPrefix = QStringLiteral(".quorvel-part-");
inline const QString deletingPrefix = QStringLiteral(".quorvel-deleting-");

// A fresh name of each kind: the prefix, the owner and "-", and ten random
// letters or digits. A name without an owner belongs to no live program.
QString partName(const QString& owner = QString());
QString deletingName(const QString& owner = QString());

// The owner in a name of either kind; empty when it has none.
QString ownerOf(const QString& name);

// Whether `name` (a file name, no folder) has the form partName() or
// deletingName() produce.
bool isPartName(const QString& name);
bool isDeletingName(const QString& name);
bool isLeftover(const QString& name);

// Names that start like Quorvel's own working files, and the recycle bin's
// folder; never a stored name.
bool isReserved(const QString& name);

} // namespace StoreFiles
