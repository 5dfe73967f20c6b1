#pragma once
// The server's half of the envelope: the private-key step done with OpenSSL (the program
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

    // Builds the key and proves the pair: a test message sealed with its public half must
    // open with its private half. False with a reason otherwise.
    bool load(const EnvelopeKeyPair& keys, std::string& error);

    const EnvelopeKeyPair& pair() const { return pair_; }
    // The private-key step of openEnvelope; safe to call from several threads at once.
    bool decryptMessageKey(const std::string& encryptedKey, std::string& messageKey) const;
    MessageKeyDecryptor decryptor() const;

private:
    EnvelopeKeyPair pair_;
    std::unique_ptr<evp_pkey_st, void (*)(evp_pkey_st*)> key_;
};

}  // namespace vaultaide::tools
