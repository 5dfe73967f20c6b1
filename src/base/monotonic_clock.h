#pragma once
// Milliseconds from a fixed point, never going back: for spacing events out, never for dates.
#include <cstdint>

namespace vaultaide {

uint64_t monotonicMilliseconds();

}  // namespace vaultaide
