#pragma once
// UTF-8 well-formedness, checked before a parser that trusts its input sees the bytes.
#include <string>

namespace vaultaide {

// True when the bytes are well-formed UTF-8 (no truncated, overlong or surrogate sequence,
// nothing above U+10FFFF) and hold no zero byte.
bool isWellFormedUtf8(const std::string& bytes);

}  // namespace vaultaide
