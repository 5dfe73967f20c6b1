#pragma once
// A machine for whole install runs: a signed release served from a host folder, the stand-in
// runtime installers beside it, and one journal of what the run showed and started, in order.
#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "fakes/fake_platform.h"
#include "fakes/folder_http.h"
#include "install/run_control.h"
#include "ui/progress_view.h"

namespace vaultaide::testing {

// Records the status line ("status TEXT"), the Cancel caption ("cancel TEXT") and the overall
// bar's ranges ("overall range32 0 N", "overall range 0 N") into the journal.
class JournalView : public ProgressView {
public:
    explicit JournalView(std::vector<std::string>& journal) : journal_(journal) {}
    void setControlText(int controlId, const std::string& text) override;
    void refreshControl(int) override {}
    void sendBarMessage(int controlId, BarMessage message, intptr_t wParam,
                        intptr_t lParam) override;

private:
    std::vector<std::string>& journal_;
};

struct InstallBench {
    InstallBench();

    // Files of the release sources: set "common" or "bank", relative path with "/".
    void source(const std::string& set, const std::string& relative, const std::string& content);
    // Publishes the sources as the served release; with a version, its manifests name it and
    // the bank code.
    void publish(const std::string& version = "", int32_t bankCode = 0x810,
                 const std::string& folder = "810");
    // Runs the whole sequence; the journal ends with "returned N" or "ended N".
    void run(int mode, int32_t updateMode = 1);
    // The installation's files (the download folder left out) by relative path.
    std::map<std::string, std::string> installedFiles() const;
    std::string installed(const std::string& relative) const;
    std::map<std::string, std::string> values(const std::string& key,
                                              RegistryView view = RegistryView::View32) const {
        return machine.registry.values(key, view);
    }

    fakes::TempDir sources;
    fakes::TempDir served;
    fakes::FakeMachine machine;
    fakes::FolderHttp http;
    Platform platform;
    std::vector<std::string> journal;
    JournalView view{journal};
    AppState app;
    std::atomic<int32_t> workerFinished{-1};
    std::unique_ptr<RunControl> control;  // the run's, made afresh by each run
};

}  // namespace vaultaide::testing
