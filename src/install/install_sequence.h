#pragma once
// The install sequence: the progress dialog's worker body.
#include <atomic>
#include <cstdint>

#include "app/app_state.h"
#include "packages/install_job.h"
#include "platform/platform.h"
#include "ui/progress_view.h"

namespace vaultaide {

struct InstallRun {
    Platform& platform;
    AppState& app;
    InstallJob* job;                       // made by the progress dialog; the sequence owns it
    ProgressView& view;                    // the progress dialog's controls
    std::atomic<int32_t>& workerFinished;  // 0 while the worker runs, 1 once it has ended
};

// The progress dialog's worker body. Returns 0 after a stop (the dialog then waits for the
// user's Cancel); on success it starts the assistant's programs and ends the process with
// exit code 0, never returning.
uint32_t runInstallSequence(InstallRun& run);

}  // namespace vaultaide
