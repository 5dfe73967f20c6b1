#pragma once
// Removing the bank's older assistant before a first installation.
#include <cstdint>

namespace vaultaide {

struct AppState;
class ProgressEvents;
struct Platform;

// How long an old product's uninstaller may run. Removing the old assistant takes well under a
// minute; five minutes leave room for a slow disk and a virus scanner. One that runs longer
// hangs (or waits for an answer nobody gives, the window being hidden) and is terminated, so
// the installation goes on.
constexpr uint32_t kUninstallerWaitMs = 5 * 60 * 1000;
constexpr uint32_t kAfterScriptEmptiedMs = 500;

// Removes the older assistant of the bank's group, when the bank profile names one. Relative
// file names are those of the current directory. Always true.
bool removeLegacyAssistant(Platform& platform, const AppState& app, ProgressEvents& progress);

}  // namespace vaultaide
