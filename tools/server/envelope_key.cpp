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

// One context per thread and key: setting one up costs more than the operation.
struct ThreadContext {
    const EVP_PKEY* key = nullptr;
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx{nullptr, EVP_PKEY_CTX_free};
};

EVP_PKEY_CTX* encryptionContext(EVP_PKEY* key) {
    thread_local ThreadContext context;
    if (context.key != key || !context.ctx) {
        context.ctx.reset(EVP_PKEY_CTX_new(key, nullptr));
        context.key = key;
        if (!context.ctx || EVP_PKEY_encrypt_init(context.ctx.get()) <= 0 ||
            EVP_PKEY_CTX_set_rsa_padding(context.ctx.get(), RSA_PKCS1_PADDING) <= 0)
            context.ctx.reset();
    }
    return context.ctx.get();
}

using MontContext = std::unique_ptr<BN_MONT_CTX, decltype(&BN_MONT_CTX_free)>;

// A thread's scratch numbers for the private step.
struct Scratch {
    std::unique_ptr<BN_CTX, decltype(&BN_CTX_free)> ctx{BN_CTX_new(), BN_CTX_free};
    Bignum block{BN_new(), BN_free}, reduced{BN_new(), BN_free}, m1{BN_new(), BN_free},
        m2{BN_new(), BN_free}, h{BN_new(), BN_free};
    bool ready() const { return ctx && block && reduced && m1 && m2 && h; }
};

}  // namespace

// The private step as the bare Chinese-remainder exponentiation (constant-time, with the
// moduli's Montgomery forms made once). OpenSSL's own RSA adds blinding and a check of the
// result against the public key, which guard a secret key against timing and fault attacks:
// this key pair ships inside every copy of the program, so they would protect nothing and
// cost a tenth of the answer.
struct ServerEnvelopeKey::PrivateHalf {
    Bignum n{nullptr, BN_free}, p{nullptr, BN_free}, q{nullptr, BN_free}, dP{nullptr, BN_free},
        dQ{nullptr, BN_free}, qInv{nullptr, BN_free};
    MontContext montP{nullptr, BN_MONT_CTX_free}, montQ{nullptr, BN_MONT_CTX_free};

    bool load(const EnvelopeKeyPair& keys) {
        n = bignumOf(keys.N);
        p = bignumOf(keys.P);
        q = bignumOf(keys.Q);
        dP = bignumOf(keys.DP);
        dQ = bignumOf(keys.DQ);
        qInv = bignumOf(keys.QP);
        std::unique_ptr<BN_CTX, decltype(&BN_CTX_free)> ctx(BN_CTX_new(), BN_CTX_free);
        montP.reset(BN_MONT_CTX_new());
        montQ.reset(BN_MONT_CTX_new());
        return n && p && q && dP && dQ && qInv && ctx && montP && montQ &&
               BN_MONT_CTX_set(montP.get(), p.get(), ctx.get()) &&
               BN_MONT_CTX_set(montQ.get(), q.get(), ctx.get());
    }

    // raw = block^d mod n, from m1 = block^dP mod p, m2 = block^dQ mod q.
    bool decrypt(const unsigned char* in, unsigned char* raw) const {
        thread_local Scratch s;
        BN_CTX* ctx = s.ctx.get();
        return s.ready() && BN_bin2bn(in, kEnvelopeKeyBytes, s.block.get()) &&
               BN_ucmp(s.block.get(), n.get()) < 0 &&
               BN_nnmod(s.reduced.get(), s.block.get(), p.get(), ctx) &&
               BN_mod_exp_mont_consttime(s.m1.get(), s.reduced.get(), dP.get(), p.get(), ctx,
                                         montP.get()) &&
               BN_nnmod(s.reduced.get(), s.block.get(), q.get(), ctx) &&
               BN_mod_exp_mont_consttime(s.m2.get(), s.reduced.get(), dQ.get(), q.get(), ctx,
                                         montQ.get()) &&
               BN_mod_sub(s.h.get(), s.m1.get(), s.m2.get(), p.get(), ctx) &&
               BN_mod_mul(s.h.get(), s.h.get(), qInv.get(), p.get(), ctx) &&
               BN_mul(s.reduced.get(), s.h.get(), q.get(), ctx) &&
               BN_add(s.reduced.get(), s.reduced.get(), s.m2.get()) &&
               BN_bn2binpad(s.reduced.get(), raw, kEnvelopeKeyBytes) ==
                   static_cast<int>(kEnvelopeKeyBytes);
    }
};

ServerEnvelopeKey::ServerEnvelopeKey() : key_(nullptr, EVP_PKEY_free) {}
ServerEnvelopeKey::~ServerEnvelopeKey() = default;

bool ServerEnvelopeKey::load(const EnvelopeKeyPair& keys, std::string& error) {
    key_.reset(buildKey(keys));
    private_ = std::make_unique<PrivateHalf>();
    if (!key_ || EVP_PKEY_get_bits(key_.get()) != static_cast<int>(kEnvelopeKeyBytes * 8) ||
        !private_->load(keys)) {
        error = "the envelope key pair is not a 1024-bit RSA key";
        key_.reset();
        private_.reset();
        return false;
    }
    static const std::string probe = "vaultaide key check";
    std::string request, answer, opened, answered;
    if (!sealEnvelope(keys, probe, request) || !openEnvelope(decryptor(), request, opened) ||
        opened != probe || !sealEnvelope(encryptor(), probe, answer) ||
        !openEnvelope(keys, answer, answered) || answered != probe) {
        error = "the envelope key pair does not open what it seals";
        key_.reset();
        private_.reset();
        return false;
    }
    return true;
}

bool ServerEnvelopeKey::encryptMessageKey(const std::string& messageKey,
                                          std::string& encryptedKey) const {
    EVP_PKEY_CTX* ctx = key_ ? encryptionContext(key_.get()) : nullptr;
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
    unsigned char raw[kEnvelopeKeyBytes];
    if (!private_ || encryptedKey.size() != kEnvelopeKeyBytes ||
        !private_->decrypt(reinterpret_cast<const unsigned char*>(encryptedKey.data()), raw))
        return false;
    return readDecryptedBlock(std::string(reinterpret_cast<char*>(raw), sizeof raw),
                              kMessageKeyBytes, messageKey) == 0;
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
