#include "operations/RecordExport.h"

#include "store/GeneralRoutines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace RecordExport {

namespace {

constexpr qint64 chunkSize = 256 * 1024;

} // namespace

Status copyFile(const QString& source, const QString& target)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return Error{QStringLiteral("无法读取存储文件。"),
                     source + QStringLiteral(": ") + in.errorString()};
    QSaveFile out(target);
    // Never write in place: a failure must leave an existing target whole.
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly))
        return Error{QStringLiteral("无法写入“%1”。").arg(QDir::toNativeSeparators(target)),
                     out.errorString()};
    QByteArray buffer;
    while (!in.atEnd()) {
        buffer = in.read(chunkSize);
        if (buffer.isEmpty() && in.error() != QFileDevice::NoError) {
            out.cancelWriting();
            return Error{QStringLiteral("读取存储文件时出错。"), in.errorString()};
        }
        if (out.write(buffer) != buffer.size()) {
            const QString detail = out.errorString();
            out.cancelWriting();
            return Error{QStringLiteral("写入“%1”时出错，原文件未被改动。")
                             .arg(QDir::toNativeSeparators(target)),
                         detail};
        }
    }
    if (!out.commit())
        return Error{
            QStringLiteral("无法保存“%1”，原文件未被改动。").arg(QDir::toNativeSeparators(target)),
            out.errorString()};
    return {};
}

bool isTaken(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

Result<QString> existingStoredCopy(const Register& reg, const QString& storedName)
{
    const QString path = reg.storedCopyPath(storedName);
    if (path.isEmpty())
        return Error{notFoundText, QStringLiteral("不是存储文件夹中的文件名: ") + storedName};
    const QFileInfo info(path);
    if (!info.isFile())
        return Error{notFoundText, path};
    return path;
}

Status exportTo(const Register& reg, const QString& storedName, const QString& target)
{
    Result<QString> source = existingStoredCopy(reg, storedName);
    if (!source)
        return source.error();
    if (QFileInfo(target).isDir())
        return Error{QStringLiteral("“%1”是一个文件夹。").arg(QDir::toNativeSeparators(target)),
                     QString()};
    return copyFile(source.value(), target);
}

QString desktopFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

QString plainName(const QString& fileName)
{
    QString name = fileName;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name.replace(QLatin1Char('\\'), QLatin1Char('_'));
    name.remove(QChar(0));
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = QStringLiteral("文件") + name;
    return name;
}

QString USERPROFILEFileName(const QString& desktop, const QString& FName)
{
    const QString folder =
        desktop.endsWith(QLatin1Char('/')) ? desktop : desktop + QLatin1Char('/');
    if (!isTaken(folder + FName))
        return folder + FName;
    const QString base = GeneralRoutines::FileBaseName(FName);
    const QString extension = GeneralRoutines::FileExtension(FName);
    for (int n = 1; n <= 10000; ++n) {
        const QString candidate = folder + base + QLatin1Char('(') + QString::number(n) +
                                  QStringLiteral(").") + extension;
        if (!isTaken(candidate))
            return candidate;
    }
    return QString();
}

Result<QString> sendToDesktop(const Register& reg, const QString& storedName,
                              const QString& fileName, const QString& desktop)
{
    Result<QString> source = existingStoredCopy(reg, storedName);
    if (!source)
        return source.error();
    if (desktop.isEmpty() || !QFileInfo(desktop).isDir())
        return Error{
            QStringLiteral("桌面文件夹“%1”不存在。").arg(QDir::toNativeSeparators(desktop)),
            desktop};
    const QString target = USERPROFILEFileName(desktop, plainName(fileName));
    if (target.isEmpty())
        return Error{QStringLiteral("桌面上已没有可用的文件名。"), fileName};
    if (Status copied = copyFile(source.value(), target); !copied)
        return copied.error();
    return target;
}

} // namespace RecordExport
