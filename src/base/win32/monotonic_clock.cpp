// The system's tick count, widened past its 49.7-day wrap: Windows XP lacks GetTickCount64, and
// the C++ library's steady clock would bring in imports XP's kernel32 need not have.
#include <windows.h>

#include "base/monotonic_clock.h"
#include "base/tick_count.h"

namespace vaultaide {

uint64_t monotonicMilliseconds() {
    static std::atomic<uint64_t> state{0};
    return extendedTickCount(state, [] { return GetTickCount(); });
}

}  // namespace vaultaide
