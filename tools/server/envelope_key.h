#pragma once
// The server's half of the envelope: the RSA steps done with OpenSSL's arithmetic (the program
// itself uses Mbed TLS), the key built once rather than for every request.
#include <memory>
#include <string>

#include "protocol/crypto.h"
#include "protocol/envelope.h"

struct evp_pkey_st;

namespace vaultaide::tools {

class ServerEnvelopeKey {
public:
    ServerEnvelopeKey();
    ~ServerEnvelopeKey();
    ServerEnvelopeKey(const ServerEnvelopeKey&) = delete;
    ServerEnvelopeKey& operator=(const ServerEnvelopeKey&) = delete;

    // Builds the key and proves the pair both ways: what the program seals (Mbed TLS) opens
    // here, and what this seals opens with the program's code. False with a reason otherwise.
    bool load(const EnvelopeKeyPair& keys, std::string& error);

    // The RSA steps of sealEnvelope and openEnvelope; safe to call from several threads.
    bool encryptMessageKey(const std::string& messageKey, std::string& encryptedKey) const;
    bool decryptMessageKey(const std::string& encryptedKey, std::string& messageKey) const;
    MessageKeyEncryptor encryptor() const;
    MessageKeyDecryptor decryptor() const;

private:
    struct PrivateHalf;
    std::unique_ptr<evp_pkey_st, void (*)(evp_pkey_st*)> key_;
    std::unique_ptr<PrivateHalf> private_;
};

}  // namespace vaultaide::tools
