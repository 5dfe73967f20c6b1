#pragma once
// The key material compiled into the program from the build's key folder.
#include "protocol/crypto.h"

namespace vaultaide {

// The envelope key pair shared with the update server.
const EnvelopeKeyPair& builtInEnvelopeKeys();
// The PEM "RSA PUBLIC KEY" that verifies the signed manifests.
const char* builtInManifestPublicKey();

}  // namespace vaultaide
