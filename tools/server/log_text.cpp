#include "log_text.h"

#include <ctime>

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

const std::string& logTime() {
    thread_local std::time_t last = 0;
    thread_local std::string text;
    const std::time_t now = std::time(nullptr);
    if (now != last) {
        char stamp[32];
        std::tm utc{};
        gmtime_r(&now, &utc);
        std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
        text = stamp;
        last = now;
    }
    return text;
}

}  // namespace vaultaide::tools
