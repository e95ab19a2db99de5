#include "intake/StoredName.h"

#include "base/GeneralRoutines.h"
#include "store/RecordFields.h"
#include "store/RegisterNames.h"
#include "store/folder/StoreFiles.h"

#include <QFile>

#include <sys/stat.h>

namespace StoredName {

namespace {

// Whether `c` may not stand in a file name on a Windows share. A backslash is
// legal on Linux but the register treats it as a folder separator as well.
bool unsafeCharacter(QChar c)
{
    return c.unicode() < 0x20 || QStringView(u"\\<>:\"|?*").contains(c);
}

// A share refuses (or quietly renames) a name that ends in a dot or a space.
QString withoutTrailingDotsOrSpaces(QString name)
{
    while (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        name.chop(1);
    return name;
}

QString plain(QString name)
{
    for (QChar& c : name) {
        if (unsafeCharacter(c))
            c = QLatin1Char('_');
    }
    name = withoutTrailingDotsOrSpaces(name);
    // Names of Quorvel's own working files are never given to a stored copy,
    // or the integrity check would take the copy for a leftover.
    if (StoreFiles::isReserved(name))
        name.prepend(QLatin1Char('_'));
    return name;
}

void chopCharacter(QString& text)
{
    const qsizetype n = text.size();
    if (n >= 2 && text.at(n - 1).isLowSurrogate() && text.at(n - 2).isHighSurrogate())
        text.chop(2);
    else
        text.chop(1);
}

bool taken(const Register& reg, const QString& name)
{
    const QString path = reg.storedCopyPath(name);
    if (path.isEmpty())
        return true;
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

} // namespace

bool fits(const QString& name)
{
    return name.size() <= RecordFields::of(RecordField::StoredName).limit &&
           name.toUtf8().size() <= maxNameBytes;
}

QString fit(const QString& base, const QString& suffix)
{
    QString shortened = base;
    while (!shortened.isEmpty() && !fits(shortened + suffix))
        chopCharacter(shortened);
    QString name = shortened + suffix;
    // Only a suffix that cannot fit on its own gets here with a long name.
    while (!name.isEmpty() && !fits(name))
        chopCharacter(name);
    return name;
}

QString clashName(const QString& fileName)
{
    const QString name = plain(fileName);
    const QString extension = GeneralRoutines::FileExtension(name);
    // Without an extension the name ends with the random part, not a dot.
    const QString suffix = QLatin1Char('.') + GeneralRoutines::RandomName() +
                           (extension.isEmpty() ? QString() : QLatin1Char('.') + extension);
    return withoutTrailingDotsOrSpaces(fit(GeneralRoutines::FileBaseName(name), suffix));
}

QString choose(const Register& reg, const QString& fileName)
{
    const QString name = plain(fileName);
    QString candidate;
    if (fits(name)) {
        candidate = name;
    } else {
        const QString extension = GeneralRoutines::FileExtension(name);
        candidate = withoutTrailingDotsOrSpaces(
            extension.isEmpty()
                ? fit(name, QString())
                : fit(GeneralRoutines::FileBaseName(name), QLatin1Char('.') + extension));
    }
    if (Register::isPlainFileName(candidate) && !taken(reg, candidate))
        return candidate;
    return clashName(fileName);
}

QString cut(const QString& text, int limit)
{
    if (text.size() <= limit)
        return text;
    QString result = text.left(limit);
    if (!result.isEmpty() && result.back().isHighSurrogate())
        result.chop(1);
    return result;
}

} // namespace StoredName
