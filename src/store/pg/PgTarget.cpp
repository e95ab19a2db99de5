#include "store/pg/PgTarget.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QUrl>
#include <QUrlQuery>

namespace {

// The location as it may be shown: a password someone wrote into it anyway
// is left out.
QString withoutPassword(const QString& location)
{
    QString shown = location;
    shown.replace(QRegularExpression(QStringLiteral("(://[^:@/?]*):[^@/?]*@")),
                  QStringLiteral("\\1:***@"));
    shown.replace(QRegularExpression(QStringLiteral("([?&]password=)[^&]*")),
                  QStringLiteral("\\1***"));
    return shown;
}

Error invalid(const QString& location, const QString& why)
{
    const QString shown = withoutPassword(location);
    return Error{QStringLiteral("无法使用数据库服务器地址“%1”：%2").arg(shown, why), shown};
}

QString decoded(const QString& part)
{
    return QUrl::fromPercentEncoding(part.toUtf8());
}

// `part` with every ASCII character that could end it escaped, `kept`
// excepted; other letters stay as they are, so that names stay readable.
QString encoded(const QString& part, const QByteArray& kept = {})
{
    QString text;
    for (const QChar c : part) {
        if (c.unicode() < 0x80)
            text += QString::fromLatin1(QUrl::toPercentEncoding(QString(c), kept));
        else
            text += c;
    }
    return text;
}

} // namespace

bool PgTarget::isUrl(const QString& location)
{
    return location.startsWith(QLatin1String("postgresql://")) ||
           location.startsWith(QLatin1String("postgres://"));
}

// Parsed by hand: QUrl rejects an empty host, which is how a socket folder
// given as ?host= is written.
Result<PgTarget> PgTarget::fromUrl(const QString& url)
{
    if (!isUrl(url))
        return invalid(url, QStringLiteral("不是 postgresql:// 地址。"));
    QString rest = url.mid(url.indexOf(QLatin1String("://")) + 3);
    QString query;
    if (const qsizetype mark = rest.indexOf(QLatin1Char('?')); mark >= 0) {
        query = rest.mid(mark + 1);
        rest.truncate(mark);
    }
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    const QString authority = slash >= 0 ? rest.left(slash) : rest;
    PgTarget target;
    target.database = decoded(slash >= 0 ? rest.mid(slash + 1) : QString());

    QString hostPort = authority;
    if (const qsizetype at = authority.lastIndexOf(QLatin1Char('@')); at >= 0) {
        const QString userInfo = authority.left(at);
        if (userInfo.contains(QLatin1Char(':')))
            return invalid(url,
                           QStringLiteral("地址中不能写密码，请写在 ~/.pgpass 或 PGPASSWORD 中。"));
        target.user = decoded(userInfo);
        hostPort = authority.mid(at + 1);
    }
    // An IPv6 address is written in brackets; its port follows them.
    const qsizetype colon = hostPort.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0 && colon > hostPort.lastIndexOf(QLatin1Char(']'))) {
        bool ok = false;
        target.port = hostPort.mid(colon + 1).toInt(&ok);
        if (!ok || target.port <= 0 || target.port > 65535)
            return invalid(url, QStringLiteral("端口号无效。"));
        hostPort.truncate(colon);
    }
    if (hostPort.startsWith(QLatin1Char('[')) && hostPort.endsWith(QLatin1Char(']')))
        hostPort = hostPort.mid(1, hostPort.size() - 2);
    target.host = decoded(hostPort);

    const QUrlQuery items(query);
    for (const auto& [key, value] : items.queryItems(QUrl::FullyDecoded)) {
        if (key == QLatin1String("store"))
            target.storeFolder = value;
        else if (key == QLatin1String("host"))
            target.host = value;
        else if (key == QLatin1String("port"))
            target.port = value.toInt();
        else if (key == QLatin1String("user"))
            target.user = value;
        else if (key == QLatin1String("dbname"))
            target.database = value;
        else if (key == QLatin1String("password"))
            return invalid(url,
                           QStringLiteral("地址中不能写密码，请写在 ~/.pgpass 或 PGPASSWORD 中。"));
    }
    if (target.database.isEmpty())
        return invalid(url, QStringLiteral("没有写数据库名。"));
    if (target.storeFolder.isEmpty() || QDir::isRelativePath(target.storeFolder))
        return invalid(url, QStringLiteral("需要用 store=/完整路径 写明共享的存储文件夹。"));
    target.storeFolder = QDir::cleanPath(target.storeFolder);
    return target;
}

std::optional<Result<PgTarget>> PgTarget::fromFolder(const QString& folder)
{
    const QString path = QDir(folder).filePath(settingsFile);
    if (!QFileInfo::exists(path))
        return std::nullopt;
    QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        return Result<PgTarget>(Error{QStringLiteral("无法读取“%1”。").arg(path), path});
    PgTarget target;
    target.host = settings.value(QStringLiteral("database/server")).toString();
    target.port = settings.value(QStringLiteral("database/port"), 0).toInt();
    target.database = settings.value(QStringLiteral("database/database")).toString();
    target.user = settings.value(QStringLiteral("database/user")).toString();
    const QString store = settings.value(QStringLiteral("store/folder")).toString();
    if (settings.contains(QStringLiteral("database/password")))
        return Result<PgTarget>(
            Error{QStringLiteral("“%1”中不能写密码，请写在 ~/.pgpass 或 PGPASSWORD 中。").arg(path),
                  path});
    if (target.database.isEmpty() || store.isEmpty())
        return Result<PgTarget>(Error{
            QStringLiteral("“%1”缺少 [database] database 或 [store] folder。").arg(path), path});
    target.storeFolder = QDir::cleanPath(QDir(folder).absoluteFilePath(store));
    return Result<PgTarget>(target);
}

QString PgTarget::shown() const
{
    QString server = host.isEmpty() ? QStringLiteral("localhost") : host;
    if (port != 0)
        server += QLatin1Char(':') + QString::number(port);
    return server + QLatin1Char('/') + database;
}

QString PgTarget::url() const
{
    return QStringLiteral("postgresql://%1@%2").arg(user, shown());
}

QString PgTarget::address() const
{
    QString text = QStringLiteral("postgresql://");
    if (!user.isEmpty())
        text += encoded(user) + QLatin1Char('@');
    const bool socketFolder = host.startsWith(QLatin1Char('/'));
    if (!socketFolder)
        text += host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']')
                                                : encoded(host);
    if (port != 0)
        text += QLatin1Char(':') + QString::number(port);
    text += QLatin1Char('/') + encoded(database) + QLatin1Char('?');
    if (socketFolder)
        text += QStringLiteral("host=") + encoded(host, "/") + QLatin1Char('&');
    return text + QStringLiteral("store=") + encoded(storeFolder, "/");
}
