#pragma once

#include <QString>
#include <QUrlQuery>

#include <string>

// Building the pages: every text that came from a record, a form or a URL
// goes through escape() before it is written into a page.
namespace Html {

QString escape(const QString& text);
// A value for a URL's query part.
QString urlValue(const QString& text);

// The page frame: title, the style sheet and, for a signed-in person, the
// navigation bar (`navigation`, already built) above `body`.
std::string page(const QString& title, const QString& navigation, const QString& body);

// <input type="hidden"> of the person's form token, in every form that changes something.
QString tokenField(const QString& token);

// A short message box above a page's content (`error` colours it as a failure).
QString notice(const QString& text, bool error = false);

} // namespace Html
