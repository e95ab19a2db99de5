#include "app/RegisterOpening.h"
#include "app/StartupError.h"
#include "browser/gui/TableFace.h"
#include "browser/gui/ViewsArea.h"
#include "store/RegisterLocation.h"
#include "support/gui/Fonts.h"
#include "support/gui/Palettes.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // No display name: Qt would append it to every window title.
    QApplication::setApplicationName(QStringLiteral("quorvel"));
    QApplication::setApplicationVersion(QStringLiteral("2.0"));
    QApplication::setFont(Fonts::ui(9));
    Palettes::applyFromEnvironment();
    // Every text the user sees is Chinese, Qt's own buttons and dialogs too.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Quorvel — 文件登记簿"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption registerOption(QStringLiteral("register"),
                                            QStringLiteral("登记库文件夹"), QStringLiteral("DIR"));
    parser.addOption(registerOption);
    parser.process(app);

    const QString folder = RegisterLocation::resolve(parser.value(registerOption));
    Result<Register> reg = openRegisterShowingProgress(folder);
    if (!reg) {
        reportStartupError(reg.error().message);
        return 1;
    }

    TableFace face(reg.value());
    face.views()->setBackgroundSearch(true);
    face.startUp();
    return app.exec();
}
