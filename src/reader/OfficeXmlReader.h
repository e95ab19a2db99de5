#pragma once

#include "reader/ReadText.h"

// Office Open XML (docx, xlsx, pptx) and OpenDocument (odt, ods, odp): the
// XML parts that hold the text, unpacked under a size limit. Paragraphs and
// table rows end lines; cells are separated by tabs.
namespace OfficeXmlReader {

// NotRead for a zip that is no office document.
ReadText text(const QString& path);

// The text of one part, for the comparison in the benchmark.
QString partText(const QByteArray& xml);

} // namespace OfficeXmlReader
