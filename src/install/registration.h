#pragma once
// The installation's folder layout and its registry entries: the own key, the entry in the
// system's list of installed programs, and the autostart entry.
#include <string>

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

// Creates the installation folder and its missing parents, a real folder (a link in its place
// is removed). The first folder it creates outside Program Files gets the access list
// installers give theirs, so that standard users cannot plant files or links in what the
// elevated program installs and starts. False when the folder cannot be made.
bool createInstallationFolder(Platform& platform, const std::string& path);
// Creates the standard sub-folders and the download folder with its own; always true.
bool createStandardFolders(Platform& platform, const InstallJob& job);
// The autostart command: installDir + "\QuorlePop_" + "%03x" of the bank code + ".exe".
std::string autostartCommand(const AppState& app, const InstallJob& job);
// Writes the own key, the uninstall entry and the autostart entry (removed, and written again
// only when the user asked for it). False when the uninstall entry or the Run key could not be
// written as required.
bool registerInstallation(Platform& platform, const AppState& app, const InstallJob& job);

}  // namespace vaultaide
