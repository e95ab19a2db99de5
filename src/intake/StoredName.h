#pragma once

#include "store/Register.h"

#include <QString>

// How a registered file's stored copy is named inside the store folder.
namespace StoredName {

// Longest stored name in bytes the file systems we run on accept.
constexpr int maxNameBytes = 255;

// Whether a name fits both the 路径 column and the file system.
bool fits(const QString& name);

// `base` + `suffix`, with `base` shortened (whole characters, from its end)
// until the result fits; the suffix (extension, random part) is kept. Only
// when the suffix alone cannot fit is it cut as well.
QString fit(const QString& base, const QString& suffix);

// The file's own name when no entry of that name (after shortening) is in
// the store folder, else base + "." + RandomName + "." + extension.
QString choose(const Register& reg, const QString& fileName);

// The clash form, used when the plain name is taken.
QString clashName(const QString& fileName);

// Cuts a text to `limit` characters without splitting a surrogate pair.
QString cut(const QString& text, int limit);

} // namespace StoredName
