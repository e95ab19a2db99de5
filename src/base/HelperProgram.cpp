#include "base/HelperProgram.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

QString helperProgram(const QString& name, const char* variable)
{
    const QString named = qEnvironmentVariable(variable);
    if (!named.isEmpty())
        return named;
    const QDir here(QCoreApplication::applicationDirPath());
    const QStringList candidates = {here.filePath(name),
                                    here.filePath(QStringLiteral("../libexec/quorvel/") + name),
                                    QString(QStringLiteral(QUORVEL_LIBEXEC_DIR "/") + name)};
    for (const QString& candidate : candidates) {
        if (QFileInfo(candidate).isExecutable())
            return candidate;
    }
    return QString();
}
