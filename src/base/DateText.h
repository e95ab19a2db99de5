#pragma once

#include <QDate>
#include <QString>

#include <optional>

// Dates are stored as ISO text (yyyy-MM-dd) and shown as yyyy-MM-d.
namespace DateText {

// "2006-03-05" -> "2006-03-5"; any text that is not an ISO date is returned unchanged.
QString toDisplay(const QString& stored);

QString toStored(const QDate& date);

// Recognises what a user types: the system locale's short and long forms and
// the common forms 2006-5-1, 2006/5/1, 2006.5.1 and 2006年5月1日.
std::optional<QDate> parse(const QString& text);

// Today's date as the add form shows it.
QString today();

} // namespace DateText
