#pragma once
// The install sequence: the progress dialog's worker body, which turns a decision to install,
// update or repair into an installed, registered and running assistant.
#include <atomic>
#include <cstdint>

namespace vaultaide {

struct AppState;
class InstallJob;
class ProgressView;
struct Platform;
class RunControl;

struct InstallRun {
    Platform& platform;
    AppState& app;
    InstallJob* job;                       // made by the progress dialog; the sequence owns it
    ProgressView& view;                    // the progress dialog's controls
    std::atomic<int32_t>& workerFinished;  // 0 while the worker runs, 1 once it has ended
    RunControl& control;                   // what the dialog's Cancel may do meanwhile
};

// The progress dialog's worker body. Returns 0 after a stop (the dialog then waits for the
// user's Cancel, and the worker touches it no more) or when the user ended the run; on success
// it starts the assistant's programs and ends the process with exit code 0, never returning.
// The job is freed on every path.
uint32_t runInstallSequence(InstallRun& run);

}  // namespace vaultaide
