#include "base/tick_count.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace vaultaide {
namespace {

TEST(TickCount, WrapsOfTheThirtyTwoBitCounterAddUp) {
    struct Step {
        uint32_t reading;
        uint64_t expected;
    };
    const Step steps[] = {
        {5, 5},
        {5, 5},
        {0xFFFFFFF0u, 0xFFFFFFF0u},
        {3, 0x100000003ull},            // wrapped
        {0x80000000u, 0x180000000ull},  // half way round: no wrap
        {0x7FFFFFFFu, 0x27FFFFFFFull},  // wrapped again
        {0x7FFFFFFFu, 0x27FFFFFFFull},
    };
    std::atomic<uint64_t> state{0};
    for (const Step& step : steps) {
        EXPECT_EQ(extendedTickCount(state, [&] { return step.reading; }), step.expected)
            << "reading " << step.reading;
    }
}

TEST(TickCount, ThreadsNeverSeeTheCountGoBackAcrossAWrap) {
    std::atomic<uint64_t> clock{0xFFFFF000u};  // the true count, wrapping after 4096 readings
    std::atomic<uint64_t> state{0};
    const auto read = [&] { return static_cast<uint32_t>(clock.fetch_add(1)); };
    std::vector<std::thread> threads;
    std::atomic<int> backwards{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            uint64_t last = 0;
            for (int i = 0; i < 5000; ++i) {
                const uint64_t now = extendedTickCount(state, read);
                if (now < last) ++backwards;
                last = now;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(backwards.load(), 0);
    const uint64_t last = extendedTickCount(state, read);
    EXPECT_EQ(last, clock.load() - 1);
}

}  // namespace
}  // namespace vaultaide
