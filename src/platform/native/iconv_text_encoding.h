#pragma once
// UTF-8 to GBK with the C library's iconv, standing in for the ANSI code page 936 (or to
// another character set, standing in for another code page).
#include <string>
#include <utility>

#include "platform/text_encoding.h"

namespace vaultaide {

class IconvTextEncoding : public TextEncoding {
public:
    explicit IconvTextEncoding(std::string charset = "GBK") : charset_(std::move(charset)) {}
    std::string utf8ToAnsi(const std::string& utf8) override;
    bool utf8ToAnsiExactly(const std::string& utf8, std::string& ansi) override;

private:
    std::string charset_;
};

}  // namespace vaultaide
