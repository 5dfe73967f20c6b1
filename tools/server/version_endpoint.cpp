#include "version_endpoint.h"

#include <cctype>

namespace vaultaide::tools {

namespace {

constexpr char kSelf[] = "{self}";

// A JSON string as the parser the program uses writes it (members in name order, no spaces);
// built by hand, as a general writer costs more than the rest of the answer.
void appendJsonString(std::string& out, const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    out += '"';
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

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
    std::string answer = "{\"update\":";
    appendJsonString(answer, release.update);
    answer += ",\"url\":";
    appendJsonString(answer, url);
    answer += ",\"v\":";
    appendJsonString(answer, release.version);
    answer += '}';
    return answer;
}

EndpointAnswer answerVersionRequest(const ServerEnvelopeKey& key, const ReleaseConfig& config,
                                    const std::string& data, const std::string& self,
                                    SealedAnswers* sealed) {
    std::string bank;
    if (!openServerAnswer(key.decryptor(), data, bank))
        return {400, "", "request does not open", ""};
    const auto found = config.banks.find(bank);
    if (found == config.banks.end()) return {404, "", "unknown bank " + bank, bank};
    const bool namesSelf = found->second.url.compare(0, sizeof kSelf - 1, kSelf) == 0;
    if (self.empty() && namesSelf) return {400, "", "no usable Host for {self}", bank};
    std::string note = "bank " + bank + " version " + found->second.version;
    // The Host is part of the answer only through {self}.
    const std::string kept = sealed ? bank + '\n' + (namesSelf ? self : "") : std::string();
    if (sealed) {
        const auto earlier = sealed->find(kept);
        if (earlier != sealed->end()) return {200, earlier->second, std::move(note), bank};
    }
    std::string text;
    if (!sealEnvelope(key.encryptor(), answerJson(found->second, self), text))
        return {500, "", "answer could not be sealed", bank};
    if (sealed) {
        if (sealed->size() >= kMaxSealedAnswers) sealed->clear();  // Host names are the client's
        sealed->emplace(kept, text);
    }
    return {200, std::move(text), std::move(note), bank};
}

}  // namespace vaultaide::tools
