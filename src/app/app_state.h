#pragma once
// The one process-wide state record.
#include <cstdint>
#include <string>

namespace vaultaide {

class ProgressView;

constexpr int32_t kBuildBankCode = 2064;  // 0x810
constexpr const char* kBuildChannelCode = "KORVA";
// The platform vendor's download host of the runtime installers (scheme and host, no "/" at
// the end): a build setting.
extern const char* const kBuildRuntimeHost;
// The common name in the certificate that signs the runtime installers: a build setting.
extern const char* const kBuildRuntimeSigner;

struct WindowRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

struct AppState {
    int32_t bankCode = kBuildBankCode;
    std::string channelCode = kBuildChannelCode;
    std::string vendorSubKey;  // empty by design: the own key has an empty component
    std::string windowTitle;
    std::string promptCaption;
    std::string assistantName;
    std::string programGroup;
    int32_t iconId = 181;
    int32_t queryBackgroundId = 174;
    int32_t welcomeBackgroundId = 175;
    int32_t optionsBackgroundId = 176;
    int32_t progressBackgroundId = 177;
    int32_t progressBackgroundAltId = 178;
    int32_t updateBackgroundId = 180;
    int32_t reinstallBackgroundId = 184;
    std::string legacyProductId;
    std::string mainExeName;
    std::string uninstallerName;
    std::string selfExeName;
    WindowRect lastWindowRect;
    ProgressView* progressDialog = nullptr;
    bool createDesktopShortcut = true;
    bool createProgramGroup = true;
    bool createQuickLaunch = true;
    bool runAtStartup = false;
    std::string installPath;
    std::string serverVersion;
    std::string downloadUrl;
    int32_t updateMode = 0;
    std::string runtimeHost = kBuildRuntimeHost;
    std::string runtimeSigner = kBuildRuntimeSigner;
};

extern AppState g_appState;

}  // namespace vaultaide
