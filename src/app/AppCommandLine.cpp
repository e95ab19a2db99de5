#include "app/AppCommandLine.h"

namespace AppCommandLine {

QCommandLineOption registerOption()
{
    return {QStringLiteral("register"), QStringLiteral("登记库文件夹"), QStringLiteral("DIR")};
}

void configure(QCommandLineParser& parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Quorvel — 文件登记簿\n"
                       "给出的文件在登记表单中打开，如同拖到窗口上。同一登记库已有窗口时，"
                       "把文件交给那个窗口并将它显示在最前面。"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(registerOption());
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("要登记的文件"),
                                 QStringLiteral("[FILE...]"));
}

} // namespace AppCommandLine
