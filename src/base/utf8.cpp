#include "base/utf8.h"

namespace vaultaide {

bool isWellFormedUtf8(const std::string& bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        const unsigned char lead = *p++;
        if (lead == 0) return false;
        if (lead < 0x80) continue;
        int more;
        unsigned char low = 0x80, high = 0xBF;  // the range of the first continuation byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            more = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            more = 2;
            if (lead == 0xE0) low = 0xA0;   // overlong
            if (lead == 0xED) high = 0x9F;  // surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            more = 3;
            if (lead == 0xF0) low = 0x90;   // overlong
            if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
        } else {
            return false;
        }
        if (end - p < more || *p < low || *p > high) return false;
        for (++p, --more; more > 0; --more, ++p)
            if ((*p & 0xC0) != 0x80) return false;
    }
    return true;
}

}  // namespace vaultaide
