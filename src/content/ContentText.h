#pragma once

#include "base/Result.h"
#include "store/Register.h"

#include <QString>

#include <optional>

// The text read from a record's copy, and where a term stands in it.
namespace ContentText {

// The text, when the copy has been read; none before that or without a copy.
Result<std::optional<QString>> ofRecord(const Register& reg, qint64 identity);

// A short piece of `text` around the first place that holds `term` (ASCII
// letters folded, as searches match): some characters before it, the match
// as it stands in the text, and some after. Line breaks become spaces.
struct Snippet {
    QString before;
    QString match;
    QString after;
};
std::optional<Snippet> snippet(const QString& text, const QString& term, int around = 30);

} // namespace ContentText
