#include "release_config.h"

#include <json/json.h>

#include <memory>

#include "../common/key_folder.h"

namespace vaultaide::tools {

bool parseReleaseConfig(const std::string& json, ReleaseConfig& config, std::string& error) {
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    if (!reader->parse(json.data(), json.data() + json.size(), &root, &error)) return false;
    const Json::Value& banks = root["banks"];
    if (!root.isObject() || !banks.isObject()) {
        error = "no \"banks\" object";
        return false;
    }
    ReleaseConfig read;
    for (const auto& code : banks.getMemberNames()) {
        const Json::Value& bank = banks[code];
        BankRelease release;
        std::pair<const char*, std::string*> fields[] = {
            {"version", &release.version}, {"url", &release.url}, {"update", &release.update}};
        for (auto& [name, field] : fields) {
            if (!bank.isObject() || !bank[name].isString()) {
                error = "bank " + code + ": \"" + name + "\" must be a string";
                return false;
            }
            *field = bank[name].asString();
        }
        read.banks[code] = release;
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
