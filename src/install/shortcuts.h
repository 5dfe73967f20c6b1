#pragma once
// The assistant's shell links: on the all-users desktop, in a Start-menu program group with
// the uninstaller's link, and in the user's Quick Launch folder.
#include <cstddef>
#include <string>

namespace vaultaide {

struct AppState;
class ProgressEvents;
class Shell;
struct Platform;

// A link path, with its terminating zero, fits this many bytes; a longer one is not made
// rather than made under a cut-off name.
constexpr size_t kLinkPathBytes = 260;
constexpr const char* kQuickLaunchSubfolder = "\\Microsoft\\Internet Explorer\\Quick Launch";

// Saves folder + "\" + linkName pointing at target; true when the link file was saved.
bool createShortcut(Shell& shell, const std::string& folder, const std::string& linkName,
                    const std::string& target);
// The application-data folder + the Quick Launch sub-folder; false when the folder has no path.
bool quickLaunchFolder(Shell& shell, std::string& path);
// Tells the shell that path was created and that its parent changed; path is cut to the parent.
void notifyFolderCreated(Shell& shell, std::string& path);
// The links the flags of app ask for; failures are silent. COM must be initialised.
void createShortcuts(Platform& platform, const AppState& app, ProgressEvents& progress);

}  // namespace vaultaide
