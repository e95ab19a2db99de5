#include "store/StoreFiles.h"

#include "store/GeneralRoutines.h"

namespace StoreFiles {

namespace {

bool hasForm(const QString& name, const QString& prefix)
{
    if (!name.startsWith(prefix) || name.size() == prefix.size())
        return false;
    for (qsizetype i = prefix.size(); i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c.unicode() > 127 || !c.isLetterOrNumber())
            return false;
    }
    return true;
}

} // namespace

QString partName()
{
    return partPrefix + GeneralRoutines::RandomName();
}

QString deletingName()
{
    return deletingPrefix + GeneralRoutines::RandomName();
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
    return name.startsWith(QLatin1String(".quorvel-"));
}

} // namespace StoreFiles
