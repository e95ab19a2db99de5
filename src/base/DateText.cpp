#include "base/DateText.h"

#include <QLocale>
#include <QRegularExpression>

namespace DateText {

QString toDisplay(const QString& stored)
{
    const QDate date = QDate::fromString(stored.left(10), Qt::ISODate);
    if (!date.isValid())
        return stored;
    return date.toString(QStringLiteral("yyyy-MM-d"));
}

QString toStored(const QDate& date)
{
    return date.toString(Qt::ISODate);
}

std::optional<QDate> parse(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;

    static const QRegularExpression numeric(
        QStringLiteral(R"(^(\d{4})\s*(?:[-/.]|年)\s*(\d{1,2})\s*(?:[-/.]|月)\s*(\d{1,2})\s*日?$)"));
    const QRegularExpressionMatch match = numeric.match(trimmed);
    if (match.hasMatch()) {
        const QDate date(match.captured(1).toInt(), match.captured(2).toInt(),
                         match.captured(3).toInt());
        if (date.isValid())
            return date;
        return std::nullopt;
    }

    const QLocale locale = QLocale::system();
    for (const auto format : {QLocale::ShortFormat, QLocale::LongFormat}) {
        QDate date = locale.toDate(trimmed, format);
        if (date.isValid()) {
            // Two-digit years are read as this century, as a person means them.
            if (date.year() < 1950 && !trimmed.contains(QString::number(date.year())))
                date = date.addYears(100);
            return date;
        }
    }
    return std::nullopt;
}

QString today()
{
    return toDisplay(toStored(QDate::currentDate()));
}

} // namespace DateText
