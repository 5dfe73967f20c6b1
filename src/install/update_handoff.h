#pragma once
// Hand-off of a forced update to the running assistant.
#include <functional>

#include "app/app_state.h"
#include "packages/install_job.h"
#include "platform/platform.h"

namespace vaultaide {

// Acts only for a forced update (job mode 1, updateMode 2): calls hideDialog, starts the main
// program with "-t", sends the pop-up program its pipe command and waits 3 s. True always.
bool forcedUpdateHandoff(Platform& platform, const AppState& app, InstallJob& job,
                         const std::function<void()>& hideDialog);

}  // namespace vaultaide
