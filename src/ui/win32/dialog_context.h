#pragma once
// What every dialog reaches: the platform, the process-wide state, the server endpoint and
// keys, and the suite's broadcast message id.
#include <cstdint>

#include "app/app_state.h"
#include "platform/platform.h"
#include "protocol/crypto.h"
#include "protocol/server_endpoint.h"

namespace vaultaide {

struct DialogContext {
    Platform& platform;
    AppState& state;
    const EnvelopeKeyPair& keys;
    const DownloadPath& endpoint;
    const uint32_t& detectMessageId;  // registered at start-up, before any dialog opens
};

}  // namespace vaultaide
