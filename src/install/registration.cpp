#include "install/registration.h"

#include "app/app_state.h"
#include "app/bank_profile.h"
#include "app/system_utils.h"
#include "app/version_check.h"
#include "packages/install_job.h"
#include "platform/platform.h"

namespace vaultaide {

namespace {

// path is folder itself or lies below it, letter case ignored.
bool liesIn(const std::string& path, std::string folder) {
    const std::string lower = lowerAscii(path);
    folder = lowerAscii(folder);
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return !folder.empty() && lower.compare(0, folder.size(), folder) == 0 &&
           (lower.size() == folder.size() || lower[folder.size()] == '\\');
}

}  // namespace

bool createInstallationFolder(Platform& platform, const std::string& path) {
    if (path.empty()) return true;  // nothing to make; the folders' own checks follow
    const auto levels = splitDirectoryPath(path);
    std::string firstNew, current = levels.front();
    for (size_t i = 1; i < levels.size() && firstNew.empty(); ++i) {
        current += "\\" + levels[i];
        if (!platform.files.exists(current)) firstNew = current;
    }
    if (!createDirectoryTree(platform.files, path) || !ensureRealFolder(platform.files, path))
        return false;
    std::string programFiles;
    // Below Program Files the folder inherits that protected list already.
    if (!firstNew.empty() &&
        !(platform.shell.specialFolderPath(SpecialFolder::ProgramFiles, programFiles) &&
          liesIn(firstNew, programFiles)))
        platform.files.protectFolder(firstNew);
    return true;
}

bool createStandardFolders(Platform& platform, const InstallJob& job) {
    // Only real folders: files written through a link would land wherever it points.
    for (const char* folder : kStandardFolders)
        ensureRealFolder(platform.files, job.installDir + "\\" + folder);
    ensureRealFolder(platform.files, job.installDir + "\\DownLoad");
    for (const char* folder : kStandardFolders)
        ensureRealFolder(platform.files, job.downloadDir + "\\" + folder);
    return true;
}

std::string autostartCommand(const AppState& app, const InstallJob& job) {
    return job.installDir + "\\QuorlePop_" + hexTag3(app.bankCode) + ".exe";
}

bool registerInstallation(Platform& platform, const AppState& app, const InstallJob& job) {
    // A failing own key leaves the version unrecorded; the other entries are still written.
    if (auto own = platform.registry.createKey(
            ownRegistryKeyPath(app.vendorSubKey, job.channelCode, app.bankCode), kKeyAllAccess)) {
        own->setString("Version", job.serverVersion);
        own->setString("Path", job.installDir);
        own->setString("BankID", hexTag3(app.bankCode));
    }

    auto uninstall =
        platform.registry.createKey(kUninstallKeyBase + app.assistantName, kKeyAllAccess);
    if (!uninstall) return false;
    uninstall->setString("UninstallString", job.installDir + "\\" + app.uninstallerName);
    uninstall->setString("Publisher", kPublisher);
    uninstall->setString("DisplayName", app.assistantName);
    uninstall->setString("DisplayVersion", app.serverVersion);
    uninstall->setString("DisplayIcon", job.installDir + "\\" + app.mainExeName);
    uninstall.reset();

    // The autostart entry lives in the system's native view.
    auto run = platform.registry.createKey(kRunKey, kKeyAllAccess, RegistryView::View64);
    if (!run) return false;
    run->deleteValue(app.assistantName);
    return !app.runAtStartup || run->setString(app.assistantName, autostartCommand(app, job));
}

}  // namespace vaultaide
