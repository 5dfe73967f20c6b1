#pragma once
// A download that averages less than 1 KiB/s over a minute gives up, as a failed attempt: a
// server that trickles a byte just inside every per-read time-out would otherwise hold the
// elevated program for ever.
#include <cstdint>

namespace vaultaide {

constexpr uint64_t kMinDownloadBytesPerSecond = 1024;
constexpr uint32_t kDownloadRateWindowMs = 60000;

class DownloadRateFloor {
public:
    explicit DownloadRateFloor(uint32_t startMs) : windowStart_(startMs) {}
    // After each read of bytes at nowMs (a wrapping millisecond count): false when the window
    // that has just closed carried less than the floor.
    bool keepsUp(uint32_t nowMs, uint64_t bytes) {
        windowBytes_ += bytes;
        const uint32_t elapsed = nowMs - windowStart_;
        if (elapsed < kDownloadRateWindowMs) return true;
        const bool enough = windowBytes_ * 1000 >= kMinDownloadBytesPerSecond * elapsed;
        windowStart_ = nowMs;
        windowBytes_ = 0;
        return enough;
    }

private:
    uint32_t windowStart_;
    uint64_t windowBytes_ = 0;
};

}  // namespace vaultaide
