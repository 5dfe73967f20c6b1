#pragma once
// The sealed envelope of every server request and answer: an RSA-encrypted message key, the
// triple-DES ciphertext and the SHA-1 of the plaintext, as a BER sequence in hexadecimal.
#include <functional>
#include <string>

#include "protocol/crypto.h"

namespace vaultaide {

class Kernel;
class HttpTransport;
struct DownloadPath;

// The envelope text, or false when the message key cannot be encrypted.
bool sealEnvelope(const EnvelopeKeyPair& keys, const std::string& plaintext, std::string& text);
// The plaintext of an envelope text of even length, or false.
bool openEnvelope(const EnvelopeKeyPair& keys, const std::string& text, std::string& plaintext);
// Opens a server answer: an odd last character is ignored, the plaintext ends at a zero byte.
bool openServerAnswer(const EnvelopeKeyPair& keys, const std::string& answer,
                      std::string& plaintext);

// The same with other implementations of the RSA steps: the encryptor turns the 24-byte
// message key into 128 bytes as rsaEncryptPublic does, the decryptor turns those back into
// the message key (at most 24 bytes) as rsaDecryptPrivate does.
using MessageKeyEncryptor =
    std::function<bool(const std::string& messageKey, std::string& encryptedKey)>;
bool sealEnvelope(const MessageKeyEncryptor& encryptKey, const std::string& plaintext,
                  std::string& text);
using MessageKeyDecryptor =
    std::function<bool(const std::string& encryptedKey, std::string& messageKey)>;
bool openEnvelope(const MessageKeyDecryptor& decryptKey, const std::string& text,
                  std::string& plaintext);
bool openServerAnswer(const MessageKeyDecryptor& decryptKey, const std::string& answer,
                      std::string& plaintext);

// Seals plaintext and sends it to each base of the endpoint in turn; true with the raw answer
// body after the first completed exchange.
bool sendServerRequest(HttpTransport& http, Kernel& kernel, const EnvelopeKeyPair& keys,
                       const DownloadPath& endpoint, const std::string& path,
                       const std::string& plaintext, std::string& answer);

}  // namespace vaultaide
