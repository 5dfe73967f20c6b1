#include "app/startup.h"

#include "app/bank_profile.h"
#include "platform/platform.h"
#include "protocol/http_settings.h"

namespace vaultaide {

std::string broadcastMessageName(const AppState& state) {
    return "qv_detect_tools_single_msgid" + state.channelCode + "_" +
           std::to_string(state.bankCode);
}

std::string singleInstanceMutexName(const AppState& state) {
    return "downloader_KORVA_" + hexTag3(state.bankCode);
}

bool initInstance(Platform& platform, const EnvelopeKeyPair& keys, StartupUi& ui,
                  const std::string& commandLine, uint32_t& detectMessageId, AppState& state,
                  DownloadPath& endpoint, const StartupRecovery& recover) {
    platform.kernel.enableTakeOwnershipPrivilege();
    platform.ui.initCommonControls();

    applyBankProfile(state, endpoint);
    state.progressDialog = nullptr;
    state.createDesktopShortcut = true;
    state.createProgramGroup = true;
    state.createQuickLaunch = true;
    setDownloadAgent(platform.kernel.applicationTitle());

    detectMessageId = 0;
    detectMessageId = platform.kernel.registerMessage(broadcastMessageName(state));
    if (detectMessageId == 0) {
        platform.ui.messageBox("Can not initialize.", platform.kernel.applicationTitle(),
                               kMbOk | kMbIconError);
        return false;
    }

    if (commandLine == kEndCommand) {
        platform.kernel.broadcastMessage(detectMessageId, kBroadcastEnd, 0);
        return false;
    }

    if (platform.kernel.createNamedMutexAlreadyExisted(singleInstanceMutexName(state)))
        platform.kernel.exitOrderly(0);
    // Even when no server can be reached later, the installation is then wholly one release.
    if (recover) recover(platform, state);

    if (!loadServerEndpoint(platform.files, endpoint)) platform.kernel.exitProcess(0);

    platform.kernel.trace("g_downloadpath.ip(" + endpoint.ip + ")");
    platform.kernel.trace("g_downloadpath.path(" + endpoint.path + ")");
    platform.kernel.trace("g_downloadpath.port(" + endpoint.port + ")");
    platform.kernel.trace(endpoint.ip + endpoint.port + endpoint.path);

    if (!runVersionCheck(platform, keys, ui, commandLine, state, endpoint))
        ui.runVersionQueryDialog();
    return false;
}

}  // namespace vaultaide
