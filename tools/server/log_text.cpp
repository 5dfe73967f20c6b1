#include "log_text.h"

namespace vaultaide::tools {

std::string logField(const std::string& text, size_t limit, bool spaces) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < text.size() && i < limit; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte > 0x20 || (spaces && byte == ' ')) && byte < 0x7F && byte != '\\' &&
            byte != '"') {
            out += static_cast<char>(byte);
        } else {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    if (text.size() > limit) out += "...";
    return out.empty() ? "-" : out;
}

}  // namespace vaultaide::tools
