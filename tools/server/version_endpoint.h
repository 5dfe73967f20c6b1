#pragma once
// The version endpoint: a sealed bank code in, a sealed JSON answer out.
#include <string>
#include <unordered_map>

#include "envelope_key.h"
#include "release_config.h"

namespace vaultaide::tools {

struct EndpointAnswer {
    int status;        // 200; 400 for a request that does not open; 404 for an unknown bank
    std::string body;  // the sealed answer's envelope text; empty unless 200
    std::string note;  // for the log line
    std::string bank;  // the bank code the request holds; empty when it did not open
};

// Answers already sealed, by bank and "{self}": the answer is the same text for every client
// until the configuration changes, so it is sealed once rather than for every request. Only
// for one configuration and key; at most kMaxSealedAnswers.
using SealedAnswers = std::unordered_map<std::string, std::string>;
constexpr size_t kMaxSealedAnswers = 256;

// data is the request's envelope text; self what "{self}" in a url stands for (scheme and
// Host of the request), empty when the request named no usable Host. sealed: where answers
// sealed for this configuration and key are kept, or null.
EndpointAnswer answerVersionRequest(const ServerEnvelopeKey& key, const ReleaseConfig& config,
                                    const std::string& data, const std::string& self,
                                    SealedAnswers* sealed = nullptr);

// The answer's JSON object text.
std::string answerJson(const BankRelease& release, const std::string& self);

// What "{self}" stands for: scheme + "://" + host, or empty for a Host header that is not a
// plain host name or address with an optional port.
std::string selfBaseOf(const std::string& scheme, const std::string& host);

}  // namespace vaultaide::tools
