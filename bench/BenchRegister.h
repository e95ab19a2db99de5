#pragma once

#include <QString>

// Builds a register of `count` records with realistic content: mixed Chinese
// and ASCII file names of about 20 characters, remarks of about 40, about 200
// recipients used with a skewed distribution, about 50 folders and dates
// over 15 years. Records only: no stored copies (views and searches do not
// read them). Deterministic for a given count.
namespace BenchRegister {

// Returns an empty text on success, else what failed.
QString generate(const QString& folder, int count);

// A register of `count` records under `cacheRoot`, generated on first use.
QString cached(const QString& cacheRoot, int count);

// Where generated registers are kept unless a benchmark is told otherwise.
QString defaultCache();

} // namespace BenchRegister
