#include "app/version_check.h"

#include <cstdio>
#include <cstdlib>

#include "app/bank_profile.h"
#include "app/browser_question.h"
#include "app/system_utils.h"
#include "platform/platform.h"
#include "protocol/envelope.h"
#include "protocol/server_answer.h"

namespace vaultaide {

DispatchAction decideDispatch(const std::string& commandLine, int32_t updateMode,
                              int installedVsServer) {
    if (updateMode == 0 && commandLine == kUpdateCommand) return DispatchAction::None;
    if (commandLine == kRepairCommand) return DispatchAction::Repair;
    if (installedVsServer >= 0 && commandLine == kUpdateCommand) return DispatchAction::None;
    if (updateMode == 1)
        return installedVsServer < 0 ? DispatchAction::PromptNewerVersion
                                     : DispatchAction::PromptReinstall;
    if (updateMode == 2) return DispatchAction::ForcedUpdate;
    return DispatchAction::None;
}

std::string ownRegistryKeyPath(const std::string& vendorSubKey, const std::string& channelCode,
                               int32_t bankCode) {
    return "Software\\" + vendorSubKey + "\\Vellumark\\Nexio\\" + channelCode + "\\" +
           hexTag(bankCode);
}

std::string ownRegistryKeyPath(const AppState& state) {
    return ownRegistryKeyPath(state.vendorSubKey, state.channelCode, state.bankCode);
}

bool runVersionCheck(Platform& platform, const EnvelopeKeyPair& keys, VersionCheckUi& ui,
                     const std::string& commandLine, AppState& state,
                     const DownloadPath& endpoint) {
    std::string installedVersion, installedPath;
    {
        auto key = platform.registry.openKey(ownRegistryKeyPath(state), kKeyAllAccess);
        if (!key) return false;
        if (!key->queryString("Version", installedVersion)) return false;
        if (!key->queryString("Path", installedPath)) return false;
    }

    const std::string request = hexTag(state.bankCode);
    ServerAnswer server;
    bool answered = false;
    for (int attempt = 0; attempt < kVersionRequestAttempts && !answered; ++attempt) {
        std::string answer, plaintext;
        if (!sendServerRequest(platform.http, platform.kernel, keys, endpoint, endpoint.path,
                               request, answer) ||
            answer.empty())
            continue;
        if (!openServerAnswer(keys, answer, plaintext)) return true;
        if (!readServerAnswer(plaintext, platform.text, server)) return true;
        // A version that is not four short numbers fails the attempt: stored, it could not be
        // read back or compared, and the installation would pass for missing.
        answered = isServerVersionText(server.v);
    }
    if (!answered) platform.kernel.exitOrderly(0);

    state.serverVersion = server.v;
    state.downloadUrl = server.url;
    state.updateMode = std::atoi(server.update.c_str());

    if (state.updateMode == 0 && commandLine == kUpdateCommand) return true;

    // Texts too short to parse count as version 0.0.0.0.
    uint32_t serverNumbers[4] = {}, installedNumbers[4] = {};
    parseVersionText(server.v, serverNumbers);
    parseVersionText(installedVersion, installedNumbers);
    state.installPath = installedPath;

    switch (decideDispatch(commandLine, state.updateMode,
                           compareVersions(installedNumbers, serverNumbers))) {
        case DispatchAction::Repair: {
            const AskFunction unowned = [&](const std::string& text, const std::string& caption,
                                            unsigned style) {
                return platform.ui.messageBox(text, caption, style);
            };
            if (!closeBrowserWithConsent(platform.processes, state.assistantName, unowned))
                return true;
            ui.runProgressDialog(kModeRepair);
            break;
        }
        case DispatchAction::PromptNewerVersion:
            ui.runUpdatePrompt(kPromptNewerVersion);
            break;
        case DispatchAction::PromptReinstall:
            ui.runUpdatePrompt(kPromptReinstall);
            break;
        case DispatchAction::ForcedUpdate:
            terminateBrowser(platform.processes, 0);
            ui.runProgressDialog(kModeUpdate);
            break;
        case DispatchAction::None:
            break;
    }
    return true;
}

}  // namespace vaultaide
