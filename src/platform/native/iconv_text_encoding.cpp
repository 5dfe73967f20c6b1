#include "platform/native/iconv_text_encoding.h"

#include <iconv.h>

#include <cerrno>

namespace vaultaide {

std::string IconvTextEncoding::utf8ToAnsi(const std::string& utf8) {
    std::string out;
    utf8ToAnsiExactly(utf8, out);
    return out;
}

bool IconvTextEncoding::utf8ToAnsiExactly(const std::string& utf8, std::string& ansi) {
    iconv_t cd = iconv_open(charset_.c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        ansi = utf8;
        return false;
    }
    bool exact = true;
    std::string out;
    std::string input = utf8;
    char* in = input.data();
    size_t inLeft = input.size();
    char buffer[256];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, sizeof buffer - outLeft);
        if (rc != static_cast<size_t>(-1) && rc > 0) exact = false;  // converted approximately
        if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
            // Skip one character the code page lacks (or one broken byte).
            exact = false;
            out += '?';
            ++in;
            --inLeft;
            while (inLeft > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80) {
                ++in;
                --inLeft;
            }
        }
    }
    iconv_close(cd);
    ansi = out;
    return exact;
}

}  // namespace vaultaide
