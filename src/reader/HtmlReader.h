#pragma once

#include "reader/ReadText.h"

#include <QByteArray>

// HTML pages: the text between tags, without scripts and styles, entities
// decoded, block elements on lines of their own. The encoding is the one
// the page declares, else it is told from the bytes.
namespace HtmlReader {

ReadText text(const QByteArray& bytes);
// Markup already decoded to characters (a mail's HTML part).
QString plainText(const QString& html);

} // namespace HtmlReader
