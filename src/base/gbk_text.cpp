#include "base/gbk_text.h"

namespace vaultaide {

bool isGbkLeadByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x81 && byte <= 0xFE;
}

namespace {

// Calls found(i) for every "\" character; stops when it returns true.
template <typename Found>
void eachBackslash(const std::string& text, size_t from, Found found) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (isGbkLeadByte(text[i])) {
            ++i;
            continue;
        }
        if (i >= from && text[i] == '\\' && found(i)) return;
    }
}

}  // namespace

size_t findBackslash(const std::string& text, size_t from) {
    size_t at = std::string::npos;
    eachBackslash(text, from, [&](size_t i) {
        at = i;
        return true;
    });
    return at;
}

size_t findLastBackslash(const std::string& text) {
    size_t at = std::string::npos;
    eachBackslash(text, 0, [&](size_t i) {
        at = i;
        return false;
    });
    return at;
}

std::string backslashesToSlashes(std::string text) {
    eachBackslash(text, 0, [&](size_t i) {
        text[i] = '/';
        return false;
    });
    return text;
}

}  // namespace vaultaide
