#pragma once
// UTF-8 to GBK with the C library's iconv, standing in for the ANSI code page 936.
#include "platform/text_encoding.h"

namespace vaultaide {

class IconvTextEncoding : public TextEncoding {
public:
    std::string utf8ToAnsi(const std::string& utf8) override;
};

}  // namespace vaultaide
