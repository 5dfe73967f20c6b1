#pragma once
// The one mapping of progress events onto the progress dialog's controls: which control shows
// what, in which order, with which text.
#include <cstdint>
#include <functional>
#include <utility>

#include "base/monotonic_clock.h"
#include "ui/progress_events.h"
#include "ui/progress_view.h"

namespace vaultaide {

// A transfer reports after every piece it reads, and every report waits on the dialog's thread.
// No eye follows more than about 30 changes a second, so a report reaches the dialog only when
// this long has passed since the last one shown. The first report of a transfer and a complete
// one always do; one held back is shown before anything else reaches the dialog, so the last
// report of every file is seen.
constexpr uint64_t kTransferReportIntervalMs = 33;

class ProgressReporter : public ProgressEvents {
public:
    // Milliseconds from any fixed point, never going back.
    using Clock = std::function<uint64_t()>;

    explicit ProgressReporter(ProgressView& view, Clock clock = monotonicMilliseconds)
        : view_(view), clock_(std::move(clock)) {}

    void status(const std::string& text) override;
    void downloading(const std::string& name) override;
    void installing(const std::string& name) override;
    void unitsCounted(int32_t unitsTotal) override;
    void pendingCounted(int32_t count) override;
    void fileStarted(const std::string& name, int32_t k, int32_t m) override;
    void bytes(uint64_t done, uint64_t total) override;
    void unitDone(int32_t done, int32_t total) override;
    void downloadFailed(const std::string& name, DownloadKind kind) override;
    void nothingToUpdate() override;
    void finished() override;

private:
    void showBytes(uint64_t done, uint64_t total);
    // Shows the transfer report held back, if any.
    void flushBytes();

    ProgressView& view_;
    Clock clock_;
    bool transferShown_ = false, held_ = false;
    uint64_t shownAt_ = 0, shownDone_ = 0, shownTotal_ = 0, heldDone_ = 0, heldTotal_ = 0;
};

}  // namespace vaultaide
