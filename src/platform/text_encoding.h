#pragma once
// Conversion into the system's ANSI code page (GBK, code page 936).
#include <string>

namespace vaultaide {

class TextEncoding {
public:
    virtual ~TextEncoding() = default;
    // UTF-8 text to the ANSI code page; characters it lacks become "?".
    virtual std::string utf8ToAnsi(const std::string& utf8) = 0;
};

}  // namespace vaultaide
