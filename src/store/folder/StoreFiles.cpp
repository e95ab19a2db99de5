#include "store/folder/StoreFiles.h"

#include "base/GeneralRoutines.h"
#include "store/RecycleBin.h"

namespace StoreFiles {

namespace {

bool isToken(QStringView text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c.unicode() > 127 || !c.isLetterOrNumber())
            return false;
    }
    return true;
}

// "<prefix><random>" (named before owners existed) or "<prefix><owner>-<random>".
bool hasForm(const QString& name, const QString& prefix)
{
    if (!name.startsWith(prefix))
        return false;
    const QStringView rest = QStringView(name).mid(prefix.size());
    const qsizetype dash = rest.indexOf(QLatin1Char('-'));
    if (dash < 0)
        return isToken(rest);
    return isToken(rest.left(dash)) && isToken(rest.mid(dash + 1));
}

QString named(const QString& prefix, const QString& owner)
{
    const QString random = GeneralRoutines::RandomName();
    if (owner.isEmpty())
        return prefix + random;
    return prefix + owner + QLatin1Char('-') + random;
}

} // namespace

QString partName(const QString& owner)
{
    return named(partPrefix, owner);
}

QString deletingName(const QString& owner)
{
    return named(deletingPrefix, owner);
}

QString ownerOf(const QString& name)
{
    if (!isLeftover(name))
        return QString();
    const QString rest = name.mid((isPartName(name) ? partPrefix : deletingPrefix).size());
    const qsizetype dash = rest.indexOf(QLatin1Char('-'));
    return dash < 0 ? QString() : rest.left(dash);
}

bool isPartName(const QString& name)
{
    return hasForm(name, partPrefix);
}

bool isDeletingName(const QString& name)
{
    return hasForm(name, deletingPrefix);
}

bool isLeftover(const QString& name)
{
    return isPartName(name) || isDeletingName(name);
}

bool isReserved(const QString& name)
{
    return name.startsWith(QLatin1String(".quorvel-")) || name == RecycleBin::folderName;
}

} // namespace StoreFiles
