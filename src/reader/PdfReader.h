#pragma once

#include "reader/ReadText.h"

#include <QByteArray>

class Ocr;

// PDF files through Poppler: the text layer of every page; pages without
// one are pictures, recognised when an Ocr is given.
namespace PdfReader {

ReadText text(const QString& path, Ocr* ocr);
// The number of pages, or -1 when the file cannot be opened.
int pageCount(const QString& path);
// Page `page` (from 1) as a PNG `width` pixels wide; empty when there is none.
QByteArray render(const QString& path, int page, int width);

} // namespace PdfReader
