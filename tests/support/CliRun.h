#pragma once

#include "cli/Command.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

// Runs quorvel-cli in-process and keeps what it printed. For test programs
// that link the command-line library.
struct CliRun {
    int status = 0;
    QString out;
    QString err;
};

inline CliRun runCommandLine(const QStringList& arguments)
{
    CliRun run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    run.status = runCli(arguments, out, err);
    return run;
}

// The same on the register in `folder`.
inline CliRun runCommandLine(const QString& folder, const QStringList& arguments)
{
    return runCommandLine(QStringList{QStringLiteral("--register"), folder} + arguments);
}
