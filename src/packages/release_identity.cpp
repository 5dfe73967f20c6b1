#include "packages/release_identity.h"

#include "app/bank_profile.h"
#include "packages/digest_manifest.h"

namespace vaultaide {

bool releaseIdentityMatches(const std::string& manifestXml, TextEncoding& encoding,
                            const std::string& serverVersion, int32_t bankCode) {
    DigestManifest manifest(encoding);
    // A text that does not parse has no attributes, and no entries either.
    manifest.loadText(manifestXml);
    std::string value;
    if (manifest.rootAttribute(kReleaseVersionAttribute, value) && value != serverVersion)
        return false;
    return !manifest.rootAttribute(kReleaseBankAttribute, value) || value == hexTag3(bankCode);
}

}  // namespace vaultaide
