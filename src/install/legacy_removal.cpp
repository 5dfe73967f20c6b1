#include "install/legacy_removal.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "base/gbk_text.h"
#include "packages/package_download.h"
#include "platform/platform.h"
#include "ui/progress_events.h"

namespace vaultaide {

namespace {

constexpr const char* kUpdateName = "QVupdate.exe";
constexpr const char* kKillScript = "killprocess.vbs";

struct LegacyGroup {
    std::vector<int32_t> bankCodes;
    const char* statusText;
    const char* processName;      // terminated first; null for none
    const char* uninstallers[2];  // tried in order; null for the Windows Installer
};

const LegacyGroup& groupOf(int32_t bankCode) {
    static const LegacyGroup groups[] = {
        {{358, 2145, 2150, 2151},
         "卸载Tamsin老版助手",
         "VQXAssistantTool.exe",
         {"C:\\Program Files (x86)\\VQX\\EBankingAssistant\\uninst.exe",
          "C:\\Program Files\\VQX\\EBankingAssistant\\uninst.exe"}},
        {{2097},
         "卸载Wenzor老版助手",
         "EbankingAssistant.WZTB.x86.exe",
         {"C:\\Program Files (x86)\\WZTBAssistant\\uninst.exe",
          "C:\\Program Files\\WZTBAssistant\\uninst.exe"}},
        {{}, "卸载Orvel老版助手", nullptr, {nullptr, nullptr}},
    };
    // The Windows Installer group, last, takes every code the others do not list.
    return *std::find_if(std::begin(groups), std::end(groups) - 1, [&](const LegacyGroup& group) {
        const auto& codes = group.bankCodes;
        return std::find(codes.begin(), codes.end(), bankCode) != codes.end();
    });
}

// After a removal the downloader's own file gets its name back.
void restoreOwnName(Files& files, const AppState& app) {
    if (files.exists(kUpdateName)) files.moveFile(kUpdateName, app.selfExeName);
}

void removeWithInstaller(Platform& platform, const AppState& app) {
    Files& files = platform.files;
    const std::string arguments = "/X" + app.legacyProductId + " /quiet";
    if (files.exists(kUpdateName)) files.deleteFile(kUpdateName);
    if (files.exists(kKillScript)) {
        files.writeFile(kKillScript, "");
        platform.kernel.sleepMs(kAfterScriptEmptiedMs);
    }
    // The downloader's own file carries the update name while the old product goes.
    const std::string module = platform.kernel.moduleFileName();
    const auto slash = findLastBackslash(module);
    const std::string ownName = slash == std::string::npos ? module : module.substr(slash + 1);
    if (files.exists(ownName)) files.moveFile(ownName, kUpdateName);
    // By full path: a bare name may be looked up in the current directory first, which is
    // typically the user's download folder.
    const std::string systemFolder = platform.system.systemFolder();
    if (!systemFolder.empty())
        platform.processes.startAndWait(systemFolder + "\\msiexec.exe", arguments,
                                        WindowShow::Hidden, kUninstallerWaitMs);
    restoreOwnName(files, app);
}

void removeWithUninstaller(Platform& platform, const AppState& app, const LegacyGroup& group) {
    terminateAndWait(platform.processes, group.processName);
    const char* const* found =
        std::find_if(std::begin(group.uninstallers), std::end(group.uninstallers),
                     [&](const char* path) { return platform.files.exists(path); });
    if (found == std::end(group.uninstallers)) return;
    platform.processes.startAndWait(*found, "/S", WindowShow::Hidden, kUninstallerWaitMs);
    restoreOwnName(platform.files, app);
}

}  // namespace

bool removeLegacyAssistant(Platform& platform, const AppState& app, ProgressEvents& progress) {
    if (app.legacyProductId.empty()) return true;
    const LegacyGroup& group = groupOf(app.bankCode);
    progress.status(group.statusText);
    if (group.processName)
        removeWithUninstaller(platform, app, group);
    else
        removeWithInstaller(platform, app);
    return true;
}

}  // namespace vaultaide
