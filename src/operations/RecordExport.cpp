#include "operations/RecordExport.h"

#include "base/GeneralRoutines.h"
#include "operations/RecordLookup.h"
#include "store/RegisterNames.h"
#include "store/folder/StoreFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace RecordExport {

namespace {

constexpr qint64 chunkSize = 256 * 1024;

// Closes a descriptor when it goes out of scope.
struct Descriptor {
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// The stored copy of `storedName`, open for reading, without ever following
// a link or opening anything but a regular file of the store folder.
Result<int> openStoredCopy(const Register& reg, const QString& storedName)
{
    if (!Register::isPlainFileName(storedName))
        return Error{notFoundText, QStringLiteral("不是存储文件夹中的文件名: ") + storedName};
    Result<StoreFolder> store = StoreFolder::open(reg);
    if (!store)
        return Error{notFoundText, store.error().message};
    int error = 0;
    const int fd = store->openForRead(storedName, &error);
    if (fd < 0) {
        const StoreFolder::Type type = store->entry(storedName).type;
        const QString what = StoreFolder::typeText(type);
        return Error{notFoundText,
                     store->pathOf(storedName) + QStringLiteral(": ") +
                         (what.isEmpty() ? QString::fromLocal8Bit(std::strerror(error)) : what)};
    }
    return fd;
}

// `path` with every link along its last component followed, as the writer
// of the target (QSaveFile) follows them.
QString finalTarget(QString path)
{
    for (int depth = 0; depth < 40; ++depth) {
        const QFileInfo info(path);
        if (!info.isSymLink())
            break;
        path = info.symLinkTarget();
    }
    return QFileInfo(path).absoluteFilePath();
}

bool isWithin(const QString& path, const QString& folder)
{
    return !folder.isEmpty() && (path == folder || path.startsWith(folder + QLatin1Char('/')));
}

} // namespace

Status copyFile(int source, const QString& target)
{
    QFile in;
    if (!in.open(source, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return Error{QStringLiteral("无法读取存储文件。"), in.errorString()};
    struct stat st;
    if (::fstat(source, &st) != 0)
        return Error{QStringLiteral("无法读取存储文件。"),
                     QString::fromLocal8Bit(std::strerror(errno))};
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
    // The copy keeps the stored copy's times; set after the last write, which
    // would move them again.
    if (out.flush()) {
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(out.handle(), times);
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
    Result<int> opened = openStoredCopy(reg, storedName);
    if (!opened)
        return opened.error();
    ::close(opened.value());
    return reg.storedCopyPath(storedName);
}

Status checkTarget(const Register& reg, const QString& target)
{
    if (target.contains(QChar::ReplacementCharacter))
        return Error{QStringLiteral("目标名称“%1”含有无法识别的字符（不是 UTF-8 "
                                    "编码），写入的将是另一个名称，因此没有写入。请换一个名称。")
                         .arg(QDir::toNativeSeparators(target)),
                     target};
    const QString parent =
        QFileInfo(QFileInfo(finalTarget(target)).absolutePath()).canonicalFilePath();
    const QString folder = QFileInfo(reg.folder()).canonicalFilePath();
    const QString store = QFileInfo(reg.storeFolder()).absoluteFilePath();
    // The register folder itself holds the database and its companions; the
    // store folder (wherever it really is) the stored copies.
    if (parent.isEmpty() || folder.isEmpty())
        return {};
    if (parent == folder || isWithin(parent, QDir(folder).filePath(RegisterNames::storeFolder)) ||
        isWithin(parent, store) || isWithin(parent, QFileInfo(store).canonicalFilePath()))
        return Error{QStringLiteral("不能写入登记库文件夹“%1”：那里的文件由登记库自己管理，"
                                    "覆盖它们会损坏登记库。请另选位置。")
                         .arg(QDir::toNativeSeparators(reg.folder())),
                     target};
    return {};
}

Status exportTo(const Register& reg, const QString& storedName, const QString& target)
{
    if (Status allowed = checkTarget(reg, target); !allowed)
        return allowed;
    Result<int> source = openStoredCopy(reg, storedName);
    if (!source)
        return source.error();
    Descriptor held{source.value()};
    if (QFileInfo(target).isDir())
        return Error{QStringLiteral("“%1”是一个文件夹。").arg(QDir::toNativeSeparators(target)),
                     QString()};
    return copyFile(held.fd, target);
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
    Result<int> source = openStoredCopy(reg, storedName);
    if (!source)
        return source.error();
    Descriptor held{source.value()};
    if (desktop.isEmpty() || !QFileInfo(desktop).isDir())
        return Error{
            QStringLiteral("桌面文件夹“%1”不存在。").arg(QDir::toNativeSeparators(desktop)),
            desktop};
    const QString target = USERPROFILEFileName(desktop, plainName(fileName));
    if (target.isEmpty())
        return Error{QStringLiteral("桌面上已没有可用的文件名。"), fileName};
    if (Status copied = copyFile(held.fd, target); !copied)
        return copied.error();
    return target;
}

Status saveRecordAs(const Register& reg, qint64 identity, const QString& target)
{
    Result<RegisterRecord> record = RecordLookup::recordAt(reg, identity);
    if (!record)
        return record.error();
    return exportTo(reg, record->storedName, target);
}

Result<QString> sendRecordToDesktop(const Register& reg, qint64 identity, const QString& desktop)
{
    Result<RegisterRecord> record = RecordLookup::recordAt(reg, identity);
    if (!record)
        return record.error();
    return sendToDesktop(reg, record->storedName, record->fileName, desktop);
}

} // namespace RecordExport
