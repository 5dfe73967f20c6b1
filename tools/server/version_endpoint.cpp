#include "version_endpoint.h"

#include <json/json.h>

#include "protocol/envelope.h"

namespace vaultaide::tools {

std::string answerJson(const BankRelease& release, const std::string& host) {
    std::string url = release.url;
    const auto self = url.find("{self}");
    if (self != std::string::npos) url.replace(self, 6, "http://" + host);
    Json::Value answer(Json::objectValue);
    answer["v"] = release.version;
    answer["url"] = url;
    answer["update"] = release.update;
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    return Json::writeString(writer, answer);
}

EndpointAnswer answerVersionRequest(const EnvelopeKeyPair& keys, const ReleaseConfig& config,
                                    const std::string& data, const std::string& host) {
    std::string bank;
    if (!openServerAnswer(keys, data, bank)) return {400, "", "request does not open"};
    const auto found = config.banks.find(bank);
    if (found == config.banks.end()) return {404, "", "unknown bank " + bank};
    std::string sealed;
    if (!sealEnvelope(keys, answerJson(found->second, host), sealed))
        return {500, "", "answer could not be sealed"};
    return {200, sealed, "bank " + bank + " version " + found->second.version};
}

}  // namespace vaultaide::tools
