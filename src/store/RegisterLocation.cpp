#include "store/RegisterLocation.h"

#include "store/RegisterNames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace RegisterLocation {

QString resolve(const QString& optionFolder)
{
    if (!optionFolder.isEmpty())
        return QFileInfo(optionFolder).absoluteFilePath();

    const QString fromEnvironment = qEnvironmentVariable("QUORVEL_REGISTER");
    if (!fromEnvironment.isEmpty())
        return QFileInfo(fromEnvironment).absoluteFilePath();

    const QString programFolder = QCoreApplication::applicationDirPath();
    if (!programFolder.isEmpty() &&
        QFileInfo::exists(QDir(programFolder).filePath(RegisterNames::databaseFile)))
        return programFolder;

    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir(dataHome).filePath(QStringLiteral("quorvel"));
}

} // namespace RegisterLocation
