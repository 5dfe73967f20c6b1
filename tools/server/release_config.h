#pragma once
// The server's release configuration: per bank (keyed by the bank code as the client sends it,
// lower-case hexadecimal such as "810"), the current version, the download base and the update
// mode. A JSON file:
//   {"banks": {"810": {"version": "1.0.0.2", "url": "{self}/releases/810", "update": "1"}}}
// "{self}" in a url stands for "http://" + the Host the request was sent to.
#include <map>
#include <string>

namespace vaultaide::tools {

struct BankRelease {
    std::string version;
    std::string url;
    std::string update;
};

struct ReleaseConfig {
    std::map<std::string, BankRelease> banks;
};

bool parseReleaseConfig(const std::string& json, ReleaseConfig& config, std::string& error);
bool loadReleaseConfig(const std::string& path, ReleaseConfig& config, std::string& error);

}  // namespace vaultaide::tools
