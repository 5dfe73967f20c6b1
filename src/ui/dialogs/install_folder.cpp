#include "ui/dialogs/install_folder.h"

#include "app/installation_folder.h"
#include "app/system_utils.h"
#include "base/gbk_text.h"
#include "platform/platform.h"
#include "ui/dialog_texts.h"

namespace vaultaide {

std::string shortcutHeading(const AppState& state) {
    return "创建" + state.assistantName + "的快捷方式在：";
}

std::string installFolderUnder(const std::string& base, const AppState& state) {
    return base + "\\" + state.programGroup;
}

std::string firstPathComponent(const std::string& text) {
    return text.substr(0, findBackslash(text));
}

bool isRefusedDriveType(uint32_t type) {
    return type == kDriveNoRootDir || type == kDriveRemovable || type == kDriveCdRom;
}

std::string foldDoubleBackslashes(const std::string& text) {
    std::string folded;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        folded += c;
        if (isGbkLeadByte(c) && i + 1 < text.size())
            folded += text[++i];
        else if (c == '\\' && i + 1 < text.size() && text[i + 1] == '\\')
            ++i;
    }
    return folded;
}

bool confirmInstallFolder(Platform& platform, AppState& state, InstallFolderChecks& checks,
                          const std::string& folderText) {
    const AskFunction ask = [&](const std::string& text, const std::string& caption,
                                unsigned style) { return checks.ask(text, caption, style); };
    if (!closeBrowserWithConsent(platform.processes, state.promptCaption, ask)) return false;
    const std::string drive = firstPathComponent(folderText);
    if (isRefusedDriveType(checks.driveType(drive)) || !checks.keepsAccessLists(drive)) {
        checks.ask(kInvalidFolderText, state.promptCaption, kMbOk);
        return false;
    }
    state.installPath = foldDoubleBackslashes(folderText);
    // Made and protected here, so the installation step finds it ready and protected. The
    // registered installation's folder is one in use, as the installation step takes it.
    const FolderUse use =
        sameInstallationFolder(registeredInstallation(platform, state), state.installPath)
            ? FolderUse::Existing
            : FolderUse::New;
    if (!createInstallationFolder(platform, state.installPath, nullptr, use)) {
        checks.ask(kInvalidFolderText, state.promptCaption, kMbOk);
        return false;
    }
    return true;
}

}  // namespace vaultaide
