#include "envelope_key.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>

#include <vector>

namespace vaultaide::tools {

namespace {

using Bignum = std::unique_ptr<BIGNUM, decltype(&BN_free)>;

Bignum bignumOf(const std::string& hex) {
    BIGNUM* value = nullptr;
    if (BN_hex2bn(&value, hex.c_str()) != static_cast<int>(hex.size())) {
        BN_free(value);
        value = nullptr;
    }
    return Bignum(value, BN_free);
}

EVP_PKEY* buildKey(const EnvelopeKeyPair& keys) {
    const std::pair<const char*, const std::string*> parts[] = {
        {OSSL_PKEY_PARAM_RSA_N, &keys.N},          {OSSL_PKEY_PARAM_RSA_E, &keys.E},
        {OSSL_PKEY_PARAM_RSA_D, &keys.D},          {OSSL_PKEY_PARAM_RSA_FACTOR1, &keys.P},
        {OSSL_PKEY_PARAM_RSA_FACTOR2, &keys.Q},    {OSSL_PKEY_PARAM_RSA_EXPONENT1, &keys.DP},
        {OSSL_PKEY_PARAM_RSA_EXPONENT2, &keys.DQ}, {OSSL_PKEY_PARAM_RSA_COEFFICIENT1, &keys.QP},
    };
    std::unique_ptr<OSSL_PARAM_BLD, decltype(&OSSL_PARAM_BLD_free)> build(OSSL_PARAM_BLD_new(),
                                                                          OSSL_PARAM_BLD_free);
    std::vector<Bignum> numbers;
    for (const auto& [name, hex] : parts) {
        numbers.push_back(bignumOf(*hex));
        if (!build || !numbers.back() ||
            !OSSL_PARAM_BLD_push_BN(build.get(), name, numbers.back().get()))
            return nullptr;
    }
    std::unique_ptr<OSSL_PARAM, decltype(&OSSL_PARAM_free)> params(
        OSSL_PARAM_BLD_to_param(build.get()), OSSL_PARAM_free);
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(
        EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr), EVP_PKEY_CTX_free);
    EVP_PKEY* key = nullptr;
    if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) <= 0 ||
        EVP_PKEY_fromdata(ctx.get(), &key, EVP_PKEY_KEYPAIR, params.get()) <= 0)
        return nullptr;
    return key;
}

// One context per thread, key and direction: setting one up costs more than the operation.
struct ThreadContext {
    const EVP_PKEY* key = nullptr;
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx{nullptr, EVP_PKEY_CTX_free};
};

EVP_PKEY_CTX* contextFor(EVP_PKEY* key, bool encrypt) {
    thread_local ThreadContext contexts[2];
    ThreadContext& context = contexts[encrypt];
    if (context.key != key || !context.ctx) {
        context.ctx.reset(EVP_PKEY_CTX_new(key, nullptr));
        context.key = key;
        if (!context.ctx ||
            (encrypt ? EVP_PKEY_encrypt_init(context.ctx.get())
                     : EVP_PKEY_decrypt_init(context.ctx.get())) <= 0 ||
            EVP_PKEY_CTX_set_rsa_padding(context.ctx.get(),
                                         encrypt ? RSA_PKCS1_PADDING : RSA_NO_PADDING) <= 0)
            context.ctx.reset();
    }
    return context.ctx.get();
}

}  // namespace

ServerEnvelopeKey::ServerEnvelopeKey() : key_(nullptr, EVP_PKEY_free) {}
ServerEnvelopeKey::~ServerEnvelopeKey() = default;

bool ServerEnvelopeKey::load(const EnvelopeKeyPair& keys, std::string& error) {
    key_.reset(buildKey(keys));
    if (!key_ || EVP_PKEY_get_bits(key_.get()) != static_cast<int>(kEnvelopeKeyBytes * 8)) {
        error = "the envelope key pair is not a 1024-bit RSA key";
        key_.reset();
        return false;
    }
    static const std::string probe = "vaultaide key check";
    std::string request, answer, opened, answered;
    if (!sealEnvelope(keys, probe, request) || !openEnvelope(decryptor(), request, opened) ||
        opened != probe || !sealEnvelope(encryptor(), probe, answer) ||
        !openEnvelope(keys, answer, answered) || answered != probe) {
        error = "the envelope key pair does not open what it seals";
        key_.reset();
        return false;
    }
    return true;
}

bool ServerEnvelopeKey::encryptMessageKey(const std::string& messageKey,
                                          std::string& encryptedKey) const {
    EVP_PKEY_CTX* ctx = key_ ? contextFor(key_.get(), true) : nullptr;
    unsigned char block[kEnvelopeKeyBytes];
    size_t length = sizeof block;
    if (!ctx ||
        EVP_PKEY_encrypt(ctx, block, &length,
                         reinterpret_cast<const unsigned char*>(messageKey.data()),
                         messageKey.size()) <= 0 ||
        length != kEnvelopeKeyBytes)
        return false;
    encryptedKey.assign(reinterpret_cast<char*>(block), length);
    return true;
}

bool ServerEnvelopeKey::decryptMessageKey(const std::string& encryptedKey,
                                          std::string& messageKey) const {
    EVP_PKEY_CTX* ctx = key_ ? contextFor(key_.get(), false) : nullptr;
    unsigned char raw[kEnvelopeKeyBytes];
    size_t length = sizeof raw;
    if (!ctx || encryptedKey.size() != kEnvelopeKeyBytes ||
        EVP_PKEY_decrypt(ctx, raw, &length,
                         reinterpret_cast<const unsigned char*>(encryptedKey.data()),
                         encryptedKey.size()) <= 0 ||
        length != kEnvelopeKeyBytes)
        return false;
    return readDecryptedBlock(std::string(reinterpret_cast<char*>(raw), length), kMessageKeyBytes,
                              messageKey) == 0;
}

MessageKeyEncryptor ServerEnvelopeKey::encryptor() const {
    return [this](const std::string& messageKey, std::string& encryptedKey) {
        return encryptMessageKey(messageKey, encryptedKey);
    };
}

MessageKeyDecryptor ServerEnvelopeKey::decryptor() const {
    return [this](const std::string& encryptedKey, std::string& messageKey) {
        return decryptMessageKey(encryptedKey, messageKey);
    };
}

}  // namespace vaultaide::tools
