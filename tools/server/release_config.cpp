#include "release_config.h"

#include <json/json.h>

#include <memory>

#include "../common/key_folder.h"
#include "app/system_utils.h"

namespace vaultaide::tools {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLowerHex(char c) { return isDigit(c) || (c >= 'a' && c <= 'f'); }

bool validBankCode(const std::string& code) {
    if (code.empty() || code.size() > 3 || code[0] == '0') return false;
    for (char c : code)
        if (!isLowerHex(c)) return false;
    return true;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The program appends "/" and a file name to the url and sends it as it is.
std::string urlFault(const std::string& url) {
    std::string rest;
    if (startsWith(url, "http://"))
        rest = url.substr(7);
    else if (startsWith(url, "https://"))
        rest = url.substr(8);
    else if (startsWith(url, "{self}") && url.size() > 6 && url[6] != '/')
        return "must have \"/\" or nothing after {self}";  // else it would extend the Host
    else if (startsWith(url, "{self}"))
        rest = "self" + url.substr(6);
    else
        return "must start with http://, https:// or {self}";
    if (rest.empty() || rest[0] == '/') return "has no host";
    if (url.back() == '/') return "must not end with \"/\"";
    for (unsigned char c : url)
        if (c <= 0x20 || c >= 0x7F || c == '"' || c == '\\' || c == '#' || c == '?')
            return "holds a space, a control character, a quote, \"\\\", \"#\" or \"?\"";
    return "";
}

// The parser's report spans lines ("* Line 1, Column 2\n  Syntax error...").
std::string oneLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        const bool space = c == '\n' || c == '\r' || c == ' ' || c == '\t';
        if (space && (line.empty() || line.back() == ' ')) continue;
        line += space ? ' ' : c;
    }
    if (line.compare(0, 2, "* ") == 0) line.erase(0, 2);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

std::string bankFault(const std::string& code, const Json::Value& bank, BankRelease& release) {
    if (!validBankCode(code))
        return "bank code \"" + code +
               "\": lower-case hexadecimal without leading zeros, at most \"fff\"";
    if (!bank.isObject()) return "bank " + code + ": not an object";
    std::pair<const char*, std::string*> fields[] = {
        {"version", &release.version}, {"url", &release.url}, {"update", &release.update}};
    for (auto& [name, field] : fields) {
        if (!bank[name].isString()) return "bank " + code + ": \"" + name + "\" must be a string";
        *field = bank[name].asString();
    }
    // The program takes no other version: it would fail every request of the bank.
    if (!isServerVersionText(release.version))
        return "bank " + code +
               ": \"version\" must be four dot-separated numbers of 1 to 5 digits, not \"" +
               release.version + "\"";
    const std::string url = urlFault(release.url);
    if (!url.empty()) return "bank " + code + ": \"url\" " + url;
    if (release.update != "0" && release.update != "1" && release.update != "2")
        return "bank " + code + ": \"update\" must be \"0\", \"1\" or \"2\"";
    return "";
}

}  // namespace

bool parseReleaseConfig(const std::string& json, ReleaseConfig& config, std::string& error) {
    Json::CharReaderBuilder builder;
    builder["rejectDupKeys"] = true;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    if (!reader->parse(json.data(), json.data() + json.size(), &root, &error)) {
        error = oneLine(error);
        return false;
    }
    if (!root.isObject() || !root["banks"].isObject()) {
        error = "the root must be an object with a \"banks\" object";
        return false;
    }
    const Json::Value& banks = root["banks"];
    ReleaseConfig read;
    for (const auto& code : banks.getMemberNames()) {
        BankRelease release;
        error =
            oneLine(bankFault(code, banks[code], release));  // names and values may hold line ends
        if (!error.empty()) return false;
        read.banks[code] = release;
    }
    if (read.banks.empty()) {
        error = "no banks: every client would be turned away";
        return false;
    }
    config = read;
    return true;
}

bool loadReleaseConfig(const std::string& path, ReleaseConfig& config, std::string& error) {
    std::string json;
    if (!readTextFile(path, json)) {
        error = "cannot read " + path;
        return false;
    }
    if (!parseReleaseConfig(json, config, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

}  // namespace vaultaide::tools
