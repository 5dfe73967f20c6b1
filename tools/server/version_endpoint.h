#pragma once
// The version endpoint: a sealed bank code in, a sealed JSON answer out.
#include <string>

#include "protocol/crypto.h"
#include "release_config.h"

namespace vaultaide::tools {

struct EndpointAnswer {
    int status;        // 200; 400 for a request that does not open; 404 for an unknown bank
    std::string body;  // the sealed answer's envelope text; empty unless 200
    std::string note;  // for the log line
};

// data is the request's envelope text; host the Host header (for "{self}" in urls).
EndpointAnswer answerVersionRequest(const EnvelopeKeyPair& keys, const ReleaseConfig& config,
                                    const std::string& data, const std::string& host);

// The answer's JSON object text.
std::string answerJson(const BankRelease& release, const std::string& host);

}  // namespace vaultaide::tools
