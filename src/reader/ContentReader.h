#pragma once

#include "reader/ReadText.h"

#include <QByteArray>

// Which reader a file goes to: told by its first bytes, then by the
// extension of the name it was registered under (the stored copy's own name
// may have none), then, for text, by whether the bytes decode as text.
namespace ContentReader {

enum class Format { Unknown, Pdf, Zip, Doc, Xls, Ppt, Rtf, Html, Mail, Image, Text };

Format formatOf(const QString& path, const QString& name);

ReadText text(const QString& path, const QString& name, bool ocr);
// -1 when the file cannot be read.
int pageCount(const QString& path, const QString& name);
// Empty when the format has no pages to show or the page cannot be drawn.
QByteArray render(const QString& path, const QString& name, int page, int width);

} // namespace ContentReader
