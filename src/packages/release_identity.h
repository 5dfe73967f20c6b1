#pragma once
// The release a signed manifest belongs to: its version and bank code, written by the publisher
// as attributes of the manifest's root element, where the signature covers them.
#include <cstdint>
#include <string>

namespace vaultaide {

class TextEncoding;

constexpr const char* kReleaseVersionAttribute = "Version";
constexpr const char* kReleaseBankAttribute = "BankID";

// True when the manifest may be installed for this server answer: the version it names equals
// the answer's version text and the bank code it names is the build's (three lower-case
// hexadecimal digits, as registration writes BankID). A manifest without these attributes, as
// other tools make them, names no release and passes.
bool releaseIdentityMatches(const std::string& manifestXml, TextEncoding& encoding,
                            const std::string& serverVersion, int32_t bankCode);

}  // namespace vaultaide
