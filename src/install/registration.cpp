#include "install/registration.h"

#include "app/app_state.h"
#include "app/bank_profile.h"
#include "app/system_utils.h"
#include "app/version_check.h"
#include "packages/install_job.h"
#include "platform/platform.h"

namespace vaultaide {

bool createStandardFolders(Platform& platform, const InstallJob& job) {
    for (const char* folder : kStandardFolders)
        createDirectoryTree(platform.files, job.installDir + "\\" + folder);
    createDirectoryTree(platform.files, job.installDir + "\\DownLoad");
    for (const char* folder : kStandardFolders)
        createDirectoryTree(platform.files, job.downloadDir + "\\" + folder);
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
