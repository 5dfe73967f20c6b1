#pragma once
// Start-up of the downloader: run mode, single instance and server endpoint.
#include <cstdint>
#include <functional>
#include <string>

#include "app/app_state.h"
#include "app/version_check.h"
#include "protocol/crypto.h"
#include "protocol/server_endpoint.h"

namespace vaultaide {

struct Platform;

// "qv_detect_tools_single_msgid" + channel + "_" + decimal bank code.
std::string broadcastMessageName(const AppState& state);
// "downloader_KORVA_" + "%03x" of the bank code.
std::string singleInstanceMutexName(const AppState& state);

constexpr const char* kEndCommand = "-t";
constexpr uintptr_t kBroadcastEnd = 1;

// The dialogs start-up may open, besides those of the version check.
class StartupUi : public VersionCheckUi {
public:
    // The first-installation path: asks the server and leads through the wizard.
    virtual void runVersionQueryDialog() = 0;
};

// Run once this instance holds the mutex, before anything else looks at the installation:
// puts back an update that was cut off (the install layer provides it).
using StartupRecovery = std::function<void(Platform&, const AppState&)>;

// Runs the whole start-up on the calling thread; always returns false (the application then
// ends). detectMessageId receives the registered broadcast message id.
bool initInstance(Platform& platform, const EnvelopeKeyPair& keys, StartupUi& ui,
                  const std::string& commandLine, uint32_t& detectMessageId,
                  AppState& state = g_appState, DownloadPath& endpoint = g_downloadpath,
                  const StartupRecovery& recover = nullptr);

}  // namespace vaultaide
