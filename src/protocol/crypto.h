#pragma once
// The cryptographic primitives of the server exchange and the file digests. Byte strings are
// std::string of bytes. Status results are 0 on success or a negative library code.
#include <cstddef>
#include <string>

namespace vaultaide {

// The RSA key pair shared with the update server, as lower-case hexadecimal text, most
// significant digit first. The public half needs only N and E.
struct EnvelopeKeyPair {
    std::string N, E, D, P, Q, DP, DQ, QP;
};

constexpr size_t kEnvelopeKeyBytes = 128;
constexpr size_t kMessageKeyBytes = 24;
constexpr size_t kSha1Bytes = 20;
constexpr int kCryptoBadInput = -1;  // our own failure code besides the library's

std::string hexEncode(const std::string& bytes);
// Fails (false, output untouched) on odd length; other characters than hexadecimal digits
// count as their code minus 48.
bool hexDecode(const std::string& text, std::string& bytes);
// 256 characters to 128 bytes: ":" to "?" count 10 to 15, anything unknown counts 0.
std::string hexDecodeSignature(const std::string& text);

std::string base64Digest(const std::string& digest);
std::string sha1Digest(const std::string& bytes);

// 24 bytes from a CTR-DRBG seeded from the platform's entropy source.
std::string makeMessageKey();

int rsaEncryptPublic(const EnvelopeKeyPair& keys, const std::string& message, std::string& out);
// Decrypts 128 bytes with the private key (CRT) and accepts block type 01 or 02 with any
// padding length; fails when the message is longer than capacity.
int rsaDecryptPrivate(const EnvelopeKeyPair& keys, const std::string& block, size_t capacity,
                      std::string& out);
// That reading of a decrypted 128-byte block: the message after the padding, or a failure code.
int readDecryptedBlock(const std::string& raw, size_t capacity, std::string& out);

std::string tripleDesCbcEncrypt(const std::string& key, const std::string& plaintext);
// Fails unless the length is a multiple of 8; removes 1 to 8 pad bytes as the last byte says.
bool tripleDesCbcDecrypt(const std::string& key, const std::string& ciphertext,
                         std::string& plaintext);

}  // namespace vaultaide
