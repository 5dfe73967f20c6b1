#pragma once
// Byte-wise searches in GBK text that respect its double-byte characters: a lead byte
// 0x81..0xFE starts a two-byte character whose second byte may be 0x5C, the byte of "\".
#include <string>

namespace vaultaide {

bool isGbkLeadByte(char c);
// The first "\" at or after from that is a character of its own; npos when none.
size_t findBackslash(const std::string& text, size_t from = 0);
// The last such "\"; npos when none.
size_t findLastBackslash(const std::string& text);
// Every "\" character replaced by "/" (for server addresses).
std::string backslashesToSlashes(std::string text);

}  // namespace vaultaide
