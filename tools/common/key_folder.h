#pragma once
// The vendor's key folder: envelope.key (the envelope key pair as NAME=hex lines),
// manifest_private.pem and manifest_public.pem (the manifest signing pair).
#include <string>

#include "protocol/crypto.h"

namespace vaultaide::tools {

constexpr const char* kEnvelopeKeyFile = "envelope.key";
constexpr const char* kManifestPrivateKeyFile = "manifest_private.pem";
constexpr const char* kManifestPublicKeyFile = "manifest_public.pem";

bool readEnvelopeKeys(const std::string& folder, EnvelopeKeyPair& keys, std::string& error);
std::string formatEnvelopeKeys(const EnvelopeKeyPair& keys);
bool readTextFile(const std::string& path, std::string& text);
bool writeTextFile(const std::string& path, const std::string& text);
// Creates path, which must not exist yet (nor be a link), with this mode, writes the text and
// flushes it to disk; false with a reason on any error.
bool createNewFile(const std::string& path, const std::string& text, unsigned mode,
                   std::string& error);

}  // namespace vaultaide::tools
