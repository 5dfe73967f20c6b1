// A downloaded manifest's signature block, checked against the built-in public key.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/memory_files.h"
#include "packages/signed_manifests.h"
#include "protocol/built_in_keys.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vaultaide;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::string message, signatureHex;
    signedMessage(bytes, message, signatureHex);
    fuzz::MemoryFile files("Digest.xml", bytes);
    verifySignedFile(files, "Digest.xml", builtInManifestPublicKey());
    return 0;
}
