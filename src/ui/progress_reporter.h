#pragma once
// The one mapping of progress events onto the progress dialog's controls: which control shows
// what, in which order, with which text.
#include "ui/progress_events.h"
#include "ui/progress_view.h"

namespace vaultaide {

class ProgressReporter : public ProgressEvents {
public:
    explicit ProgressReporter(ProgressView& view) : view_(view) {}

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
    ProgressView& view_;
};

}  // namespace vaultaide
