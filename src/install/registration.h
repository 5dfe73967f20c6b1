#pragma once
// The installation's folder layout and its registry entries: the own key, the entry in the
// system's list of installed programs, and the autostart entry.
#include <string>

#include "app/installation_folder.h"

namespace vaultaide {

struct AppState;
class InstallJob;
struct Platform;

constexpr const char* kUninstallKeyBase =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kPublisher = "Talvik科技股份有限公司";
// The standard sub-folders, in the installation and in its download folder.
constexpr const char* kStandardFolders[] = {"Data", "Plugins", "Script", "Tools"};

// Creates the standard sub-folders and the download folder with its own; always true.
bool createStandardFolders(Platform& platform, const InstallJob& job);
// The autostart command: installDir + "\QuorlePop_" + "%03x" of the bank code + ".exe".
std::string autostartCommand(const AppState& app, const InstallJob& job);
// Writes the own key, the uninstall entry and the autostart entry (removed, and written again
// only when the user asked for it), each flushed to the disk. False when any of them could not
// be written as required.
bool registerInstallation(Platform& platform, const AppState& app, const InstallJob& job);

}  // namespace vaultaide
