#pragma once
// A 64-bit millisecond count made from a 32-bit one that wraps every 49.7 days (Windows'
// GetTickCount), for systems that lack GetTickCount64.
#include <atomic>
#include <cstdint>

namespace vaultaide {

// `state` holds the wraps seen so far (high half) and the latest reading (low half); it starts
// at 0, so the count runs from the system's first wrap-free reading. A reading below the latest
// one means the counter wrapped: calls must come less than 49.7 days apart. Safe from any number
// of threads: the counter is read after the state is loaded, so a stale reading never lands.
template <typename ReadTicks>
uint64_t extendedTickCount(std::atomic<uint64_t>& state, ReadTicks readTicks) {
    uint64_t seen = state.load(std::memory_order_acquire);
    for (;;) {
        const uint32_t now = readTicks();
        const uint64_t wraps = (seen >> 32) + (now < static_cast<uint32_t>(seen) ? 1 : 0);
        const uint64_t next = wraps << 32 | now;
        if (next == seen || state.compare_exchange_weak(seen, next, std::memory_order_acq_rel,
                                                        std::memory_order_acquire)) {
            return next;
        }
    }
}

}  // namespace vaultaide
