// Files others hold or make huge: a hold is waited out for a bounded time only, and a read
// with a cap stops near it, whatever the file's size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "fakes/fake_platform.h"
#include "platform/download_rate.h"
#include "platform/sharing_retry.h"

namespace vaultaide {
namespace {

TEST(HeldFiles, SharingViolationsAreRetriedForAboutTwoSecondsAtMost) {
    const struct {
        std::vector<Attempt> answers;  // the last one repeats
        bool done;
        size_t attempts;
    } cases[] = {
        {{Attempt::Done}, true, 1},
        {{Attempt::Failed}, false, 1},
        {{Attempt::Shared, Attempt::Shared, Attempt::Done}, true, 3},
        {{Attempt::Shared, Attempt::Failed}, false, 2},
        {{Attempt::Shared}, false, 0},  // held throughout
    };
    for (const auto& c : cases) {
        size_t attempts = 0;
        uint32_t waited = 0, longest = 0;
        const bool done =
            retryWhileShared([&] { return c.answers[std::min(attempts++, c.answers.size() - 1)]; },
                             [&](uint32_t ms) {
                                 waited += ms;
                                 longest = std::max(longest, ms);
                             });
        EXPECT_EQ(done, c.done) << attempts;
        if (c.attempts) {
            EXPECT_EQ(attempts, c.attempts);
        }
        EXPECT_LE(waited, kSharingRetryBudgetMs);
        EXPECT_LE(longest, kSharingLongestPauseMs);
        if (c.attempts == 0) {
            EXPECT_EQ(waited, kSharingRetryBudgetMs);  // the whole budget, then it counts as held
            EXPECT_LT(attempts, 20u);                  // with back-off, not a busy loop
        }
    }
}

TEST(HeldFiles, ACappedReadStopsNearItsCap) {
    fakes::FakeMachine machine;
    RootedFiles& files = machine.files;
    {
        std::FILE* sparse = std::fopen(files.hostPath("C:\\serverip.dat").c_str(), "wb");
        ASSERT_TRUE(sparse);
        std::fseek(sparse, 1L << 30, SEEK_SET);  // a gibibyte of nothing
        std::fputc('x', sparse);
        std::fclose(sparse);
    }
    for (const size_t cap : {0u, 100u, 4096u, 10000u}) {
        size_t passed = 0;
        ASSERT_TRUE(files.readChunks(
            "C:\\serverip.dat", 4096, [&](const char*, size_t size) { passed += size; }, cap));
        EXPECT_GT(passed, cap);
        EXPECT_LE(passed, cap + 4096);
    }
}

// A download gives up when a minute carried less than 1 KiB/s on average, however the bytes
// came; the millisecond count may wrap in between.
TEST(HeldFiles, ADownloadThatTricklesGivesUp) {
    const struct {
        const char* name;
        uint32_t start, every, bytes;  // a read of bytes every `every` ms from start
        int readsUntilGivenUp;         // 0: it never gives up
    } cases[] = {
        {"a byte inside every per-read time-out", 0, 29000, 1, 3},
        {"just over the floor", 0, 1000, 1025, 0},
        {"just under it", 0, 1000, 1000, 60},
        {"fast, over a wrap", 0xFFFF0000u, 200, 65536, 0},
        {"a trickle over a wrap", 0xFFFFF000u, 20000, 100, 3},
    };
    for (const auto& c : cases) {
        DownloadRateFloor floor(c.start);
        int gaveUpAt = 0;
        for (uint32_t read = 1; read <= 600 && !gaveUpAt; ++read)
            if (!floor.keepsUp(c.start + read * c.every, c.bytes))
                gaveUpAt = static_cast<int>(read);
        EXPECT_EQ(gaveUpAt, c.readsUntilGivenUp) << c.name;
    }
}

}  // namespace
}  // namespace vaultaide
