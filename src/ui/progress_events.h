#pragma once
// What the steps of a run report, as events. ProgressReporter shows them on the progress dialog
// with the system's texts; NullProgress drops them, for runs without a dialog.
#include <cstdint>
#include <string>

namespace vaultaide {

// What failed to download decides the Cancel button's caption.
enum class DownloadKind { Package, Runtime };

class ProgressEvents {
public:
    virtual ~ProgressEvents() = default;
    // A stage of the run: its text replaces the status line.
    virtual void status(const std::string& text) = 0;
    // Something named is being fetched / is being started.
    virtual void downloading(const std::string& name) = 0;
    virtual void installing(const std::string& name) = 0;
    // The run is counted in unitsTotal units: the overall bar runs 0..unitsTotal from 0.
    virtual void unitsCounted(int32_t unitsTotal) = 0;
    // An update or repair fetches count pending files: the overall bar runs 0..count from 0.
    virtual void pendingCounted(int32_t count) = 0;
    // File k of m starts; its current percentage starts at nought.
    virtual void fileStarted(const std::string& name, int32_t k, int32_t m) = 0;
    // Bytes of the current transfer so far, of the announced total.
    virtual void bytes(uint64_t done, uint64_t total) = 0;
    // done of total units (or pending files) are complete.
    virtual void unitDone(int32_t done, int32_t total) = 0;
    // A download failed.
    virtual void downloadFailed(const std::string& name, DownloadKind kind) = 0;
    // An update or repair found nothing to fetch.
    virtual void nothingToUpdate() = 0;
    // The run got through its downloads, replacement and registration.
    virtual void finished() = 0;
};

class NullProgress : public ProgressEvents {
public:
    void status(const std::string&) override {}
    void downloading(const std::string&) override {}
    void installing(const std::string&) override {}
    void unitsCounted(int32_t) override {}
    void pendingCounted(int32_t) override {}
    void fileStarted(const std::string&, int32_t, int32_t) override {}
    void bytes(uint64_t, uint64_t) override {}
    void unitDone(int32_t, int32_t) override {}
    void downloadFailed(const std::string&, DownloadKind) override {}
    void nothingToUpdate() override {}
    void finished() override {}
};

}  // namespace vaultaide
