#include "packages/package_url.h"

#include <cstring>

namespace vaultaide {

std::string escapeUrlPath(const std::string& path) {
    static const char kHex[] = "0123456789ABCDEF";
    static const char kUnsafe[] = " \"#%<>?[\\]^`{|}";
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x21 || byte >= 0x7F || std::strchr(kUnsafe, c)) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace vaultaide
