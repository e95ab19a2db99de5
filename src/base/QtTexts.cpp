#include "base/QtTexts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace QtTexts {

void install()
{
    // Owned by the application, so it lives as long as the texts are used.
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

QString namingCommand(QString helpText, const QString& command)
{
    const QString program = QCoreApplication::instance()
                                ? QCoreApplication::arguments().constFirst()
                                : QStringLiteral("<executable_name>");
    const qsizetype at = helpText.indexOf(program);
    if (!program.isEmpty() && at >= 0 && at < helpText.indexOf(QLatin1Char('\n')))
        helpText.replace(at, program.size(), command);
    return helpText;
}

} // namespace QtTexts
