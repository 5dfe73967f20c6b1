#pragma once
// A file another program holds for a moment (a virus scanner, an indexer) is tried again with
// growing pauses, for about two seconds in all, before it counts as held.
#include <algorithm>
#include <cstdint>

namespace vaultaide {

enum class Attempt { Done, Shared, Failed };

constexpr uint32_t kSharingRetryBudgetMs = 2000;
constexpr uint32_t kSharingFirstPauseMs = 15;
constexpr uint32_t kSharingLongestPauseMs = 400;

// attempt() -> Attempt; pause(ms) waits. True when an attempt was Done.
template <class Try, class Pause>
bool retryWhileShared(Try attempt, Pause pause) {
    uint32_t waited = 0;
    for (uint32_t next = kSharingFirstPauseMs;; next = std::min(next * 2, kSharingLongestPauseMs)) {
        const Attempt result = attempt();
        if (result != Attempt::Shared) return result == Attempt::Done;
        if (waited >= kSharingRetryBudgetMs) return false;
        const uint32_t step = std::min(next, kSharingRetryBudgetMs - waited);
        pause(step);
        waited += step;
    }
}

}  // namespace vaultaide
