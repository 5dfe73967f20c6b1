#pragma once
// The signature block of a signed manifest, as the publisher writes it and the program reads
// it: CR LF "<Sign>", the signature as 256 hexadecimal digits, "</Sign>" and CR LF, placed
// right before the last "<" of the file (the end tag of the root element).
#include <cstddef>
#include <string>

namespace vaultaide {

constexpr char kSignatureMarker[] = "\r\n<Sign>";
constexpr size_t kSignatureMarkerBytes = sizeof kSignatureMarker - 1;
constexpr size_t kSignatureDigits = 256;
// The bytes after the digits are not examined by the check; the publisher writes these.
constexpr char kSignatureBlockEnd[] = "</Sign>\r\n";
constexpr size_t kSignatureBlockBytes =
    kSignatureMarkerBytes + kSignatureDigits + sizeof kSignatureBlockEnd - 1;
static_assert(kSignatureBlockBytes == 273, "the program looks 273 bytes before the last \"<\"");

// The whole block around 256 hexadecimal digits.
inline std::string signatureBlock(const std::string& signatureHex) {
    return kSignatureMarker + signatureHex + kSignatureBlockEnd;
}

}  // namespace vaultaide
