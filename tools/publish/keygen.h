#pragma once
#include <string>

namespace vaultaide::tools {

// Makes a key folder: the envelope pair (1024 bits, e = 65537) and the manifest signing
// pair (1024 bits, e = 3). Refuses to overwrite existing keys.
bool generateKeyFolder(const std::string& folder, std::string& error);

}  // namespace vaultaide::tools
