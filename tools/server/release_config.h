#pragma once
// The server's release configuration: per bank (keyed by the bank code as the client sends it,
// lower-case hexadecimal such as "810"), the current version, the download base and the update
// mode. A JSON file:
//   {"banks": {"810": {"version": "1.0.0.2", "url": "{self}/releases/810", "update": "1"}}}
// "{self}" in a url stands for the scheme and the Host the request was sent to (behind a front
// server: the scheme it names in X-Forwarded-Proto).
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

// Reads and checks the whole configuration: at least one bank; a bank code is lower-case
// hexadecimal without leading zeros up to "fff", "version" four dot-separated numbers of 1 to 5
// digits, "url" an http or https address (or "{self}", alone or followed by "/" and a path)
// without a trailing "/", "update" "0", "1" or "2". False with the first fault found, in one
// line; config is then unchanged.
bool parseReleaseConfig(const std::string& json, ReleaseConfig& config, std::string& error);
bool loadReleaseConfig(const std::string& path, ReleaseConfig& config, std::string& error);

}  // namespace vaultaide::tools
