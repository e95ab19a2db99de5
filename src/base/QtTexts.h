#pragma once

#include <QString>

// Qt's own texts (the headings of --help, the buttons of its dialogs) in
// Chinese, like every other text of the two programs.
namespace QtTexts {

// Installs Qt's Chinese translation into the running application; without
// it installed on the system the texts stay English and nothing fails.
void install();

// A help text from QCommandLineParser with its usage line naming `command`
// (e.g. "quorvel-cli add") instead of the path the program was started by.
QString namingCommand(QString helpText, const QString& command);

} // namespace QtTexts
