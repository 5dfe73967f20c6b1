#include "install/update_handoff.h"

#include "app/app_state.h"
#include "app/bank_profile.h"
#include "app/system_utils.h"
#include "app/version_check.h"
#include "install/file_replacement.h"
#include "packages/install_job.h"
#include "platform/platform.h"

namespace vaultaide {

std::string popPipeName() {
    return std::string("\\\\.\\pipe\\KORVA_Pop") + kBuildChannelCode + hexTag(kBuildBankCode);
}

std::string popCommandMessage(const std::string& command, const std::string& argument) {
    return "KORVA_Pop" + command + "||" + argument;
}

bool forcedUpdateHandoff(Platform& platform, const AppState& app, InstallJob& job,
                         const std::function<void()>& hideDialog) {
    if (job.mode != kModeUpdate || job.updateMode != 2) return true;
    hideDialog();
    const std::string mainProgram = job.installDir + "\\" + app.mainExeName;
    if (platform.files.exists(mainProgram))
        platform.processes.startForUser(mainProgram, "-t", WindowShow::Normal);
    sendPopCommand(platform.kernel, "UpdatePopCmd", "");
    platform.kernel.sleepMs(kHandoffWaitMs);
    return true;
}

bool sendPopCommand(Kernel& kernel, const std::string& command, const std::string& argument) {
    return kernel.writeToPipe(popPipeName(), popCommandMessage(command, argument));
}

bool stopAssistant(Platform& platform, const AppState& app, const InstallJob& job) {
    const std::string downloadFolder = job.installDir + "\\DownLoad\\";
    if (!platform.files.isDirectory(downloadFolder) &&
        !createDirectoryTree(platform.files, downloadFolder))
        return false;
    const std::string popUpName = "QuorlePop_" + hexTag(app.bankCode) + ".exe";
    for (const std::string& name : {app.mainExeName, popUpName}) {
        const std::string program = job.installDir + "\\" + name;
        if (platform.files.exists(program))
            platform.processes.startAndWait(program, " -t", WindowShow::Hidden, kEndCommandWaitMs);
        // A copy left running (in another user's session, say) keeps its files in use, and
        // the update would stop halfway: it stops here, before any file is touched.
        if (!endEveryProcessNamed(platform.processes, name, kTerminatedExitCode,
                                  kEndProcessWaitMs)) {
            platform.kernel.trace("cannot be ended(" + name + ")");
            platform.ui.messageBox(kReplaceFailedText, app.assistantName, kMbOk | kMbIconWarning);
            platform.kernel.exitOrderly(0);
        }
    }
    platform.kernel.sleepMs(kAfterStopWaitMs);
    return true;
}

}  // namespace vaultaide
