#include "store/Audit.h"

#include "base/DateText.h"
#include "store/RecordFields.h"
#include "store/RegisterNames.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>

#include <pwd.h>
#include <unistd.h>

namespace Audit {

namespace {

QString loginName()
{
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"USER", "USERNAME", "LOGNAME"}) {
        const QString value = environment.value(QLatin1String(name)).trimmed();
        if (!value.isEmpty())
            return value;
    }
    // A service or cron job may run without any of them.
    if (const passwd* entry = ::getpwuid(::geteuid()); entry && entry->pw_name)
        return QString::fromLocal8Bit(entry->pw_name);
    return QString::number(::geteuid());
}

// Null and the empty text look alike in the grid; here both are named.
QString shown(const QString& column, const QVariant& value)
{
    const QString text = value.toString();
    if (text.isEmpty())
        return QStringLiteral("（空）");
    return column == RegisterNames::date ? DateText::toDisplay(text) : text;
}

} // namespace

namespace {
thread_local QString actingName;
}

QString userName()
{
    if (!actingName.isEmpty())
        return actingName;
    static const QString name = loginName();
    return name;
}

ActingUser::ActingUser(const QString& name) : m_previous(actingName)
{
    actingName = name;
}

ActingUser::~ActingUser()
{
    actingName = m_previous;
}

QString now()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString encode(const QVariantMap& values)
{
    return QString::fromUtf8(
        QJsonDocument(QJsonObject::fromVariantMap(values)).toJson(QJsonDocument::Compact));
}

QVariantMap decode(const QString& text)
{
    return QJsonDocument::fromJson(text.toUtf8()).object().toVariantMap();
}

QVariantMap present(const QVariantMap& values)
{
    QVariantMap kept;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (!it.value().isNull() && !it.value().toString().isEmpty())
            kept.insert(it.key(), it.value());
    }
    return kept;
}

QVariantMap recordValues(const QVariantList& values)
{
    QVariantMap named;
    for (qsizetype i = 0; i < values.size() && i < RecordFields::columns().size(); ++i)
        named.insert(RecordFields::columns()[i], values[i]);
    return named;
}

QPair<QVariantMap, QVariantMap> differences(const QVariantMap& before, const QVariantMap& after)
{
    QPair<QVariantMap, QVariantMap> changed;
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        const QVariant was = before.value(it.key());
        if (was.toString() != it.value().toString()) {
            changed.first.insert(it.key(), was);
            changed.second.insert(it.key(), it.value());
        }
    }
    return changed;
}

QString changesText(const Entry& entry)
{
    // The identity first, then the record's columns, then anything else.
    QStringList order = QStringList{RegisterNames::identity} + RecordFields::columns();
    for (const QVariantMap* values : {&entry.oldValues, &entry.newValues}) {
        for (const QString& column : values->keys()) {
            if (!order.contains(column))
                order << column;
        }
    }
    QStringList parts;
    for (const QString& column : order) {
        const bool before = entry.oldValues.contains(column);
        const bool after = entry.newValues.contains(column);
        if (before && after)
            parts << QStringLiteral("%1: %2 → %3")
                         .arg(column, shown(column, entry.oldValues.value(column)),
                              shown(column, entry.newValues.value(column)));
        else if (before || after)
            parts << QStringLiteral("%1: %2").arg(
                column, shown(column, (before ? entry.oldValues : entry.newValues).value(column)));
    }
    return parts.join(QStringLiteral("；"));
}

} // namespace Audit
