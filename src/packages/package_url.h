#pragma once
// Server addresses of package files.
#include <string>

namespace vaultaide {

// The part of an address after the download base, with every byte that cannot stand in a URL
// path as it is (GBK bytes of Chinese names, blanks, "%", "#", "?" and the like) written as
// %XX. The server, or any static web server, decodes it back to the name's GBK bytes.
std::string escapeUrlPath(const std::string& path);

}  // namespace vaultaide
