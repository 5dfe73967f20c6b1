#include "install/shortcuts.h"

#include "app/app_state.h"
#include "app/system_utils.h"
#include "base/gbk_text.h"
#include "platform/platform.h"
#include "ui/progress_events.h"

namespace vaultaide {

bool createShortcut(Shell& shell, const std::string& folder, const std::string& linkName,
                    const std::string& target) {
    const std::string linkPath = folder + "\\" + linkName;
    if (linkPath.size() + 1 > kLinkPathBytes) return false;
    return shell.saveLink(linkPath, target);
}

bool quickLaunchFolder(Shell& shell, std::string& path) {
    if (!shell.specialFolderPath(SpecialFolder::AppData, path)) return false;
    path += kQuickLaunchSubfolder;
    return true;
}

void notifyFolderCreated(Shell& shell, std::string& path) {
    shell.notifyChange(ShellChange::FolderCreated, path);
    const auto slash = findLastBackslash(path);
    if (slash != std::string::npos) path.resize(slash);
    shell.notifyChange(ShellChange::FolderChanged, path);
}

void createShortcuts(Platform& platform, const AppState& app, ProgressEvents& progress) {
    Shell& shell = platform.shell;
    const std::string programLink = app.assistantName + ".lnk";
    const std::string program = app.installPath + "\\" + app.mainExeName;
    std::string folder;
    if (app.createDesktopShortcut) {
        progress.status("创建桌面快捷方式");
        if (shell.specialFolderPath(SpecialFolder::CommonDesktop, folder))
            createShortcut(shell, folder, programLink, program);
    }
    // Without the all-users Programs folder there is no group: a group built from an empty
    // base would land at the root of the current drive.
    if (app.createProgramGroup && shell.specialFolderPath(SpecialFolder::CommonPrograms, folder)) {
        std::string group = folder + "\\" + app.programGroup;
        createDirectoryTree(platform.files, group);
        createShortcut(shell, group, programLink, program);
        createShortcut(shell, group, app.assistantName + "卸载程序.lnk",
                       app.installPath + "\\" + app.uninstallerName);
        notifyFolderCreated(shell, group);
    }
    if (app.createQuickLaunch) {
        progress.status("创建快速启动选项");
        if (quickLaunchFolder(shell, folder)) createShortcut(shell, folder, programLink, program);
    }
}

}  // namespace vaultaide
