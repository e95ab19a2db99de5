#pragma once

#include "backup/Backup.h"
#include "cli/Command.h"

// Prints the notes of a backup's check, and its problems under `heading`;
// whether the backup was sound.
inline bool printBackupCheck(const Backup::Check& check, const char* heading, CliContext& context)
{
    for (const QString& note : check.notes)
        context.warning() << note << Qt::endl;
    if (check.problems.isEmpty())
        return true;
    context.error() << heading << Qt::endl;
    for (const QString& problem : check.problems)
        context.err << "  " << problem << Qt::endl;
    return false;
}
