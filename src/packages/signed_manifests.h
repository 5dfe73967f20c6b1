#pragma once
// The signed manifests: fetched from the download base and accepted only with the vendor's
// signature in their trailing Sign element.
#include <string>

#include "packages/signature_block.h"

namespace vaultaide {

class Files;
class InstallJob;
struct Platform;

// True when the bytes carry a valid signature of the key (PEM "RSA PUBLIC KEY").
bool verifySignedBytes(const std::string& bytes, const std::string& publicKeyPem);
bool verifySignedFile(Files& files, const std::string& path, const std::string& publicKeyPem);
// The whole file, when it can be read and holds at most kMaxManifestBytes.
bool readManifestBytes(Files& files, const std::string& path, std::string& bytes);
// The signed message: the bytes without their signature block; empty when there is none.
bool signedMessage(const std::string& bytes, std::string& message, std::string& signatureHex);

// Downloads Digest.xml and the bank's manifest into the folder the run needs and verifies
// both, signature and release (the run's server version and bank code); false at the first
// failure.
bool fetchSignedManifests(Platform& platform, InstallJob& job, const std::string& publicKeyPem);

}  // namespace vaultaide
