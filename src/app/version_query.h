#pragma once
// One attempt of the first installation's version query.
#include "app/app_state.h"
#include "protocol/crypto.h"
#include "protocol/server_endpoint.h"

namespace vaultaide {

struct Platform;

enum class VersionQueryOutcome {
    NoAnswer,  // no success, an empty answer or a malformed version: the user may retry
    Unusable,  // an answer that cannot be opened, or no JSON object inside
    Answered,  // serverVersion and downloadUrl are stored
};

// Asks the server for the bank's version and download base (traces "Data:(" and "Data_D:(").
// Leaves updateMode alone.
VersionQueryOutcome queryServerVersion(Platform& platform, const EnvelopeKeyPair& keys,
                                       const DownloadPath& endpoint, AppState& state);

}  // namespace vaultaide
