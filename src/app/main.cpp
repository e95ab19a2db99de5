#include "app/AppCommandLine.h"
#include "app/RegisterOpening.h"
#include "app/StartupError.h"
#include "app/TableFace.h"
#include "app/WindowHandoff.h"
#include "base/QtTexts.h"
#include "browser/gui/ViewsArea.h"
#include "content/gui/ContentArea.h"
#include "store/RegisterLocation.h"
#include "support/gui/Fonts.h"
#include "support/gui/Icons.h"
#include "support/gui/Palettes.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <optional>

namespace {

// --help and --version print and end without a window, so they work where
// no display is available too.
bool asksForText(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--")
            break;
        if (argument == "-h" || argument == "--help" || argument == "-?" ||
            argument == "--help-all" || argument == "-v" || argument == "--version")
            return true;
    }
    return false;
}

// Parsed by hand rather than by process(): a usage error exits with 2, and
// the help names the program rather than the path it was started by.
std::optional<int> parseOrExit(QCommandLineParser& parser)
{
    AppCommandLine::configure(parser);
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "quorvel: %s\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("quorvel %s\n", QUORVEL_VERSION);
        return 0;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(QtTexts::namingCommand(parser.helpText(), QStringLiteral("quorvel"))),
                   stdout);
        return 0;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char* argv[])
{
    if (asksForText(argc, argv)) {
        QCoreApplication app(argc, argv);
        QtTexts::install();
        QCommandLineParser parser;
        return parseOrExit(parser).value_or(0);
    }

    QApplication app(argc, argv);
    // No display name: Qt would append it to every window title.
    QApplication::setApplicationName(QStringLiteral("quorvel"));
    QApplication::setApplicationVersion(QStringLiteral(QUORVEL_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("quorvel"));
    QApplication::setWindowIcon(Icons::window());
    // Our face at the size the desktop's font asks for, never below 9 points.
    QApplication::setFont(Fonts::ui(Fonts::standardPointSize));
    Palettes::applyFromEnvironment();
    // Every text the user sees is Chinese, Qt's own buttons and dialogs too.
    QtTexts::install();

    QCommandLineParser parser;
    if (const std::optional<int> status = parseOrExit(parser))
        return *status;

    const QString folder =
        RegisterLocation::resolve(parser.value(AppCommandLine::registerOption()));
    WindowHandoff handoff(folder);
    switch (handoff.claim(parser.positionalArguments())) {
    case WindowHandoff::Claim::HandedOver:
        return 0;
    case WindowHandoff::Claim::Failed:
        // Only the second window on this register would then not be caught.
        std::fprintf(stderr, "quorvel: %s\n", qPrintable(handoff.errorString()));
        break;
    case WindowHandoff::Claim::Serving:
        break;
    }

    bool declined = false;
    Result<Register> reg = openRegisterShowingProgress(folder, 400, &declined);
    if (!reg) {
        // Not converting an old register now is a choice, already answered.
        if (declined)
            return 0;
        reportStartupError(reg.error().message);
        return 1;
    }

    TableFace face(reg.value());
    face.views()->setBackgroundSearch(true);
    face.content()->setBackgroundReading(true);
    face.startUp();
    handoff.deliverTo(&face);
    WindowHandoff::openFiles(&face, parser.positionalArguments());
    return app.exec();
}
