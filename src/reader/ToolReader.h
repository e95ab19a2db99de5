#pragma once

#include "reader/ReadText.h"

// Old binary office files (doc, xls, ppt) and RTF, read by Debian's
// converters (antiword, catdoc, xls2csv, catppt, unrtf) run from the reader
// program: they inherit its limits, and their output is capped.
namespace ToolReader {

enum class Kind { Doc, Xls, Ppt, Rtf };

ReadText text(const QString& path, Kind kind);

} // namespace ToolReader
