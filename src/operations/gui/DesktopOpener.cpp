#include "operations/gui/DesktopOpener.h"

#include <QDesktopServices>
#include <QUrl>

namespace DesktopOpener {

namespace {

Opener& replacement()
{
    static Opener instance;
    return instance;
}

} // namespace

bool open(const QString& path)
{
    if (replacement())
        return replacement()(path);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void setOpener(Opener opener)
{
    replacement() = std::move(opener);
}

} // namespace DesktopOpener
