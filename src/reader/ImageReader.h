#pragma once

#include "reader/ReadText.h"

#include <QByteArray>

class Ocr;

// Pictures (PNG, JPEG, TIFF with its pages, ...) through Qt's image
// readers. The size a file declares is checked before anything is decoded,
// so that a small file cannot make the reader allocate gigabytes.
namespace ImageReader {

// Without an Ocr, a readable picture needs recognition.
ReadText text(const QString& path, Ocr* ocr);
// The pictures in the file (the pages of a TIFF), or -1 when it cannot be read.
int frameCount(const QString& path);
// Picture `frame` (from 1) scaled to `width` pixels as a PNG; empty when there is none.
QByteArray render(const QString& path, int frame, int width);

} // namespace ImageReader
