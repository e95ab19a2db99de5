#pragma once

#include <QPalette>

namespace Palettes {

// A dark desktop palette, for checking that every text and picture of the
// program takes its colours from the palette (QUORVEL_PALETTE=dark).
QPalette dark();

// Applies the palette named by QUORVEL_PALETTE, if any, with the Fusion style.
void applyFromEnvironment();

} // namespace Palettes
