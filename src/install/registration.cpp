#include "install/registration.h"

#include <utility>
#include <vector>

#include "app/app_state.h"
#include "app/bank_profile.h"
#include "app/system_utils.h"
#include "app/version_check.h"
#include "packages/install_job.h"
#include "platform/platform.h"

namespace vaultaide {

namespace {

bool setAndFlush(RegistryKey& key, const std::vector<std::pair<const char*, std::string>>& values) {
    bool written = true;
    for (const auto& [name, value] : values) written = key.setString(name, value) && written;
    return key.flush() && written;
}

}  // namespace

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
    auto own = platform.registry.createKey(
        ownRegistryKeyPath(app.vendorSubKey, job.channelCode, app.bankCode), kKeyAllAccess);
    const bool ownWritten = own && setAndFlush(*own, {{"Version", job.serverVersion},
                                                      {"Path", job.installDir},
                                                      {"BankID", hexTag3(app.bankCode)}});
    own.reset();

    auto uninstall =
        platform.registry.createKey(kUninstallKeyBase + app.assistantName, kKeyAllAccess);
    if (!uninstall ||
        !setAndFlush(*uninstall, {{"UninstallString", job.installDir + "\\" + app.uninstallerName},
                                  {"Publisher", kPublisher},
                                  {"DisplayName", app.assistantName},
                                  {"DisplayVersion", app.serverVersion},
                                  {"DisplayIcon", job.installDir + "\\" + app.mainExeName}}))
        return false;
    uninstall.reset();

    // The autostart entry lives in the system's native view.
    auto run = platform.registry.createKey(kRunKey, kKeyAllAccess, RegistryView::View64);
    if (!run) return false;
    run->deleteValue(app.assistantName);
    const bool started =
        !app.runAtStartup || run->setString(app.assistantName, autostartCommand(app, job));
    return run->flush() && started && ownWritten;
}

}  // namespace vaultaide
