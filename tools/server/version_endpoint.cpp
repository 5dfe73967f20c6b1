#include "version_endpoint.h"

#include <json/json.h>

#include <cctype>

namespace vaultaide::tools {

namespace {

constexpr char kSelf[] = "{self}";

}  // namespace

std::string selfBaseOf(const std::string& scheme, const std::string& host) {
    if (host.empty() || host.size() > 255) return "";
    for (char c : host)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != ':' &&
            c != '[' && c != ']')
            return "";
    return scheme + "://" + host;
}

std::string answerJson(const BankRelease& release, const std::string& self) {
    std::string url = release.url;
    if (url.compare(0, sizeof kSelf - 1, kSelf) == 0) url.replace(0, sizeof kSelf - 1, self);
    Json::Value answer(Json::objectValue);
    answer["v"] = release.version;
    answer["url"] = url;
    answer["update"] = release.update;
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    return Json::writeString(writer, answer);
}

EndpointAnswer answerVersionRequest(const ServerEnvelopeKey& key, const ReleaseConfig& config,
                                    const std::string& data, const std::string& self) {
    std::string bank;
    if (!openServerAnswer(key.decryptor(), data, bank))
        return {400, "", "request does not open", ""};
    const auto found = config.banks.find(bank);
    if (found == config.banks.end()) return {404, "", "unknown bank " + bank, bank};
    if (self.empty() && found->second.url.compare(0, sizeof kSelf - 1, kSelf) == 0)
        return {400, "", "no usable Host for {self}", bank};
    std::string sealed;
    if (!sealEnvelope(key.encryptor(), answerJson(found->second, self), sealed))
        return {500, "", "answer could not be sealed", bank};
    return {200, sealed, "bank " + bank + " version " + found->second.version, bank};
}

}  // namespace vaultaide::tools
