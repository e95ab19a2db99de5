#pragma once

#include "legacy/LegacySource.h"

#include <QString>
#include <QStringList>

// What a conversion or an import found and did, for the person: the CLI
// prints it, the window shows it.
namespace Legacy {

struct Report {
    enum Outcome { Converted, WouldConvert, AlreadyConverted, Imported };
    Outcome outcome = Converted;
    int records = 0;
    QStringList renumbered;     // "旧序号 2.5 → 2“half.doc”"
    QStringList missingCopies;  // records kept without their copy
    QStringList hostileNames;   // stored names that are never followed
    QStringList notFiles;       // copies that are links, folders, pipes: never read
    QStringList strayFiles;     // store files no record names; left in place
    QStringList notImported;    // import only: records left out, with why
    QStringList sameContent;    // import only: intake's duplicate notes
    int queries = 0;            // slots defined in the old register
    QStringList queriesLeftOut; // rows after the ninth
    bool queryTableMissing = false;
    QString aside; // where the old file was kept

    // Whether anything of the old register did not come over whole.
    bool lostSomething() const;
    // What was done, each list by its heading and count, and where the old
    // file was kept: one line each.
    QString summary() const;
    // Each list that is not empty: its heading, then its lines indented.
    QStringList listing() const;
    // The whole report as the command line prints it.
    QString text() const;
};

// The findings of a read old register (everything but what was done).
Report findings(const Source& source);

} // namespace Legacy
