#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>

// The window program's command line, one definition for main() and for the
// manual page generated from its --help.
namespace AppCommandLine {

QCommandLineOption registerOption();
void configure(QCommandLineParser& parser);

} // namespace AppCommandLine
