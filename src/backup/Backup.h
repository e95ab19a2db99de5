#pragma once

#include "store/RecycleBin.h"

#include "base/Result.h"
#include "base/StepProgress.h"
#include "store/Register.h"

#include <QString>
#include <QStringList>

// Backups of a register while other programs keep working on it, and
// restoring one. A backup folder holds the database of one moment, the
// copies that moment's records name (and the recycle bin's copies), and the
// manifest that lists them with sizes and hashes. Copies never change in
// place, so a later backup into the same folder copies only the new ones.
namespace Backup {

inline const QString poolFolder = QStringLiteral("随机文件");
inline const QString binFolder = RecycleBin::folderName;

struct Report {
    QString destination;
    int copies = 0;    // copies the backup holds
    int copied = 0;    // of them, copied this time
    int binCopies = 0; // copies of the recycle bin
    qint64 bytesCopied = 0;
    // Named by a record but missing from the register (or not a regular
    // file): the backup holds the record without it.
    QStringList missing;
    // Copies whose bytes differ from the hash recorded at intake: backed up
    // as they are.
    QStringList changed;

    bool complete() const { return missing.isEmpty() && changed.isEmpty(); }
    QString text() const;
};

// Backs `reg` up into `destination` (created when missing; otherwise empty
// or an earlier backup). Interrupted at any moment, the folder still holds
// the previous complete backup and the register is untouched.
Result<Report> run(const Register& reg, const QString& destination,
                   const StepProgress& progress = {});

// What is wrong with a backup: each missing, cut-short or changed file, and
// a damaged or foreign database. Empty when the backup is good.
struct Check {
    int copies = 0;
    int binCopies = 0;
    QStringList notes; // records that had no copy already in the register
    QStringList problems;
};
Result<Check> verify(const QString& source, const StepProgress& progress = {});

// Restores the backup in `source` into `target`, a folder that is empty or
// does not exist yet. Every hash is checked; a damaged backup is refused
// with the list of what is wrong, and nothing that looks like a register is
// left behind.
Result<Check> restore(const QString& source, const QString& target,
                      const StepProgress& progress = {});

} // namespace Backup
