#pragma once
// Conversion into the system's ANSI code page (GBK, code page 936, on the machines the
// assistant is made for; another one on a Windows set up for another language).
#include <string>

namespace vaultaide {

class TextEncoding {
public:
    virtual ~TextEncoding() = default;
    // UTF-8 text to the ANSI code page; characters it lacks become "?".
    virtual std::string utf8ToAnsi(const std::string& utf8) = 0;
    // The same conversion; false when a character has no exact counterpart in the code page
    // (or the text is no UTF-8), ansi then holding the text with "?" for it.
    virtual bool utf8ToAnsiExactly(const std::string& utf8, std::string& ansi) = 0;
};

}  // namespace vaultaide
