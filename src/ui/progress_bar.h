#pragma once
// The owner-drawn progress bars' geometry.
#include <cstdint>

namespace vaultaide {

// Width of the fill: clientWidth / (high - low) * position, truncated toward zero. The
// position is not reduced by the low bound. An empty range paints no fill, and the width
// stays within 0..clientWidth (the control clips there anyway).
int32_t barFillWidth(int32_t clientWidth, int32_t low, int32_t high, int32_t position);

}  // namespace vaultaide
