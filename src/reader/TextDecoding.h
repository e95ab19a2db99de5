#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Text of unknown encoding, told rather than guessed: a byte-order mark, the
// zero bytes of UTF-16, strict UTF-8, Chinese-only UTF-16, then a detector whose answer must
// decode strictly and look like text. No answer is better than a wrong one.
namespace TextDecoding {

// `bytes` decoded strictly with the named encoding (any name iconv knows),
// or nothing when one byte sequence is invalid in it.
std::optional<QString> decodeAs(const QByteArray& bytes, const QByteArray& charset);

// The text of `bytes`, or nothing when the encoding cannot be told.
std::optional<QString> decode(const QByteArray& bytes);

// Whether `text` reads as text and not as binary bytes forced into characters.
bool looksLikeText(const QString& text);

// Whether `bytes` hold zero bytes other than those of UTF-16: a binary file.
bool hasBinaryZeros(const QByteArray& bytes);

} // namespace TextDecoding
