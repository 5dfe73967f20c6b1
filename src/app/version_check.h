#pragma once
// Version check and dispatch: what a run does when an installed assistant is registered.
#include <cstdint>
#include <string>

#include "app/app_state.h"
#include "protocol/crypto.h"
#include "protocol/server_endpoint.h"

namespace vaultaide {

struct Platform;

constexpr const char* kUpdateCommand = "-update";
constexpr const char* kRepairCommand = "-losefile";
constexpr int kVersionRequestAttempts = 4;

// Progress dialog modes.
constexpr int kModeInstall = 0;
constexpr int kModeUpdate = 1;
constexpr int kModeRepair = 2;
// Update prompt variants.
constexpr int kPromptNewerVersion = 0;
constexpr int kPromptReinstall = 1;

enum class DispatchAction {
    None,
    PromptNewerVersion,  // update prompt, variant 0
    PromptReinstall,     // update prompt, variant 1
    ForcedUpdate,        // close Internet Explorer, progress dialog in update mode
    Repair,              // optional Internet Explorer question, progress dialog in repair mode
};

// installedVsServer: -1, 0 or 1 comparing the installed version with the server's.
DispatchAction decideDispatch(const std::string& commandLine, int32_t updateMode,
                              int installedVsServer);

// The own registry key: "Software\%s\Vellumark\Nexio\%s\%x".
std::string ownRegistryKeyPath(const std::string& vendorSubKey, const std::string& channelCode,
                               int32_t bankCode);
std::string ownRegistryKeyPath(const AppState& state);

// The dialogs the version check opens; each runs modally and returns when it closes.
class VersionCheckUi {
public:
    virtual ~VersionCheckUi() = default;
    virtual void runUpdatePrompt(int variant) = 0;
    virtual void runProgressDialog(int mode) = 0;
};

// False when no installation is registered; true in every other case.
bool runVersionCheck(Platform& platform, const EnvelopeKeyPair& keys, VersionCheckUi& ui,
                     const std::string& commandLine, AppState& state = g_appState,
                     const DownloadPath& endpoint = g_downloadpath);

}  // namespace vaultaide
