#include "inbox/Inbox.h"

#include <QDir>
#include <QFileInfo>

namespace Inbox {

namespace {

bool within(const QString& path, const QString& folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return !canonical.isEmpty() &&
           (path == canonical || path.startsWith(canonical + QLatin1Char('/')));
}

} // namespace

Result<Settings> settings(const Register& reg)
{
    return InboxTable::read(reg.database());
}

Status setSettings(const Register& reg, Settings settings)
{
    if (settings.folder.isEmpty())
        return InboxTable::write(reg.database(), settings);
    const QFileInfo folder(settings.folder);
    if (!folder.isDir())
        return Error{QStringLiteral("收件箱文件夹“%1”不存在。").arg(settings.folder), QString()};
    settings.folder = folder.canonicalFilePath();
    // Its files are removed once registered: never those of the register.
    if (within(settings.folder, reg.folder()) || within(settings.folder, reg.storeFolder()) ||
        within(reg.storeFolder(), settings.folder))
        return Error{QStringLiteral("收件箱不能是登记库自己的文件夹或在其中。"), settings.folder};
    return InboxTable::write(reg.database(), settings);
}

} // namespace Inbox
