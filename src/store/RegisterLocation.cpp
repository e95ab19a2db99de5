#include "store/RegisterLocation.h"

#include "store/RegisterNames.h"
#include "store/pg/PgTarget.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace RegisterLocation {

namespace {

// A server URL stays as it is; a folder becomes absolute.
QString located(const QString& given)
{
    return PgTarget::isUrl(given) ? given : QFileInfo(given).absoluteFilePath();
}

} // namespace

QString resolve(const QString& optionFolder)
{
    if (!optionFolder.isEmpty())
        return located(optionFolder);

    const QString fromEnvironment = qEnvironmentVariable("QUORVEL_REGISTER");
    if (!fromEnvironment.isEmpty())
        return located(fromEnvironment);

    const QString programFolder = QCoreApplication::applicationDirPath();
    if (!programFolder.isEmpty() &&
        (QFileInfo::exists(QDir(programFolder).filePath(RegisterNames::databaseFile)) ||
         QFileInfo::exists(QDir(programFolder).filePath(PgTarget::settingsFile))))
        return programFolder;

    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir(dataHome).filePath(QStringLiteral("quorvel"));
}

} // namespace RegisterLocation
