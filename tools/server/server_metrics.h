#pragma once
// The server's figures for Prometheus. The event threads count with relaxed atomic increments
// only: no lock and no allocation on the request path. The text exposition is put together on
// the metrics listener's thread when it is scraped.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "release_config.h"

namespace vaultaide::tools {

enum class VersionResult { Answered, UnknownBank, BadEnvelope };

// Why the server turned a request or a connection away; the label of each is in the .cpp.
enum class Refusal {
    Method,
    Body,
    HeadTooLarge,
    TooManyHeaders,
    Ranges,
    HeadTimeout,
    ConnectionLimit,
    SlowClient,
    TransferLimit,
    BadRequest,
    TargetTooLong,
    Other,
};
constexpr size_t kRefusalKinds = static_cast<size_t>(Refusal::Other) + 1;

// The refusal a status and a log reason stand for.
Refusal refusalOf(int status, const std::string& reason);

class ServerMetrics {
public:
    ServerMetrics();

    // bank: the opened request's bank code (empty when it did not open).
    void countVersionRequest(VersionResult result, const std::string& bank);
    // From the complete request head to the answer's last byte written.
    void observeVersionAnswer(std::chrono::steady_clock::duration took);
    void countResponse(int status);
    void countRefusal(Refusal reason);
    void countFileBytes(uint64_t bytes) { add(fileBytes_, bytes); }
    void countTransferCut() { add(transfersCut_, 1); }
    void connectionAccepted() { add(accepted_, 1); }
    void connectionOpened() { open_.fetch_add(1, std::memory_order_relaxed); }
    void connectionClosed() { open_.fetch_sub(1, std::memory_order_relaxed); }
    // A connection closed at once at the connection limit; answered: it was sent a 503.
    void connectionTurnedAway(bool answered);
    // The public listening socket, whose backlog is the queue of connections not yet taken.
    void setListener(int fd) { listener_ = fd; }

    // The configuration in force, at start and after each good reload; a reload that failed.
    void configLoaded(std::shared_ptr<const ReleaseConfig> config);
    void configReloadFailed() { add(reloadsFailed_, 1); }
    void stopping() { stopping_.store(true); }

    // The Prometheus text exposition of every figure, process figures included.
    std::string exposition() const;
    // For /healthz: empty while the server serves, otherwise why it should get no traffic.
    std::string unhealthyReason() const;

private:
    using Counter = std::atomic<uint64_t>;
    static constexpr size_t kBankCodes = 0x1000;  // codes "0" to "fff"
    static constexpr size_t kStatusCodes = 600;
    static constexpr std::array<double, 14> kBuckets{
        0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10};

    static void add(Counter& counter, uint64_t n) {
        counter.fetch_add(n, std::memory_order_relaxed);
    }
    static int64_t steadyNow() {
        return std::chrono::steady_clock::now().time_since_epoch().count();
    }
    void appendVersionFigures(std::string& out, const ReleaseConfig& config) const;
    void appendServerFigures(std::string& out) const;
    void appendConfigFigures(std::string& out, const ReleaseConfig& config) const;

    std::array<Counter, kBankCodes> answered_{};
    Counter unknownBank_{0}, badEnvelope_{0};
    std::array<Counter, kBuckets.size() + 1> answerBuckets_{};  // the last one: +Inf
    Counter answerNanoseconds_{0};
    std::array<Counter, kStatusCodes> responses_{};
    std::array<Counter, kRefusalKinds> refusals_{};
    Counter fileBytes_{0}, transfersCut_{0}, accepted_{0};
    std::atomic<int64_t> open_{0};
    std::atomic<int64_t> lastTurnedAway_{0};  // steady clock ticks; 0: never
    int listener_ = -1;
    Counter reloadsOk_{0}, reloadsFailed_{0};
    std::atomic<int64_t> loadedAt_{0};
    std::shared_ptr<const ReleaseConfig> config_;  // read and replaced with atomic_load/store
    std::atomic<bool> stopping_{false};
    bool loadedOnce_ = false;  // the first configLoaded is the start, not a reload
};

}  // namespace vaultaide::tools
