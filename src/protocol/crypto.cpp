#include "protocol/crypto.h"

#include <mbedtls/base64.h>
#include <mbedtls/ctr_drbg.h>
#include <mbedtls/des.h>
#include <mbedtls/entropy.h>
#include <mbedtls/rsa.h>
#include <mbedtls/sha1.h>

#include <cstring>
#include <memory>
#include <vector>

namespace vaultaide {

namespace {

const unsigned char kEnvelopeIv[8] = {'3', '1', '4', '1', '5', '9', '2', '6'};

const unsigned char* bytesOf(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

// One random generator per thread, seeded once from the platform's entropy.
class Random {
public:
    Random() {
        mbedtls_entropy_init(&entropy_);
        mbedtls_ctr_drbg_init(&drbg_);
        static const char personal[] = "vaultaide";
        ready_ = mbedtls_ctr_drbg_seed(&drbg_, mbedtls_entropy_func, &entropy_,
                                       reinterpret_cast<const unsigned char*>(personal),
                                       sizeof personal - 1) == 0;
    }
    ~Random() {
        mbedtls_ctr_drbg_free(&drbg_);
        mbedtls_entropy_free(&entropy_);
    }
    static int generate(void* self, unsigned char* out, size_t length) {
        auto* random = static_cast<Random*>(self);
        if (!random->ready_) return MBEDTLS_ERR_CTR_DRBG_ENTROPY_SOURCE_FAILED;
        return mbedtls_ctr_drbg_random(&random->drbg_, out, length);
    }

private:
    mbedtls_entropy_context entropy_;
    mbedtls_ctr_drbg_context drbg_;
    bool ready_ = false;
};

Random& threadRandom() {
    thread_local Random random;
    return random;
}

class RsaKey {
public:
    RsaKey() { mbedtls_rsa_init(&ctx, MBEDTLS_RSA_PKCS_V15, 0); }
    ~RsaKey() { mbedtls_rsa_free(&ctx); }
    RsaKey(const RsaKey&) = delete;
    RsaKey& operator=(const RsaKey&) = delete;

    // Builds the key from its hexadecimal components and checks it.
    int load(const EnvelopeKeyPair& keys, bool withPrivate) {
        int rc = 0;
        auto read = [&](mbedtls_mpi* mpi, const std::string& hex) {
            if (rc == 0) rc = mbedtls_mpi_read_string(mpi, 16, hex.c_str());
        };
        read(&ctx.N, keys.N);
        read(&ctx.E, keys.E);
        if (withPrivate) {
            read(&ctx.D, keys.D);
            read(&ctx.P, keys.P);
            read(&ctx.Q, keys.Q);
            read(&ctx.DP, keys.DP);
            read(&ctx.DQ, keys.DQ);
            read(&ctx.QP, keys.QP);
        }
        if (rc != 0) return rc;
        ctx.len = (mbedtls_mpi_bitlen(&ctx.N) + 7) / 8;
        rc = withPrivate ? mbedtls_rsa_check_privkey(&ctx) : mbedtls_rsa_check_pubkey(&ctx);
        if (rc != 0) return rc;
        return ctx.len == kEnvelopeKeyBytes ? 0 : MBEDTLS_ERR_RSA_KEY_CHECK_FAILED;
    }

    mbedtls_rsa_context ctx;
};

}  // namespace

std::string hexEncode(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 0x0F];
    }
    return text;
}

bool hexDecode(const std::string& text, std::string& bytes) {
    if (text.size() % 2 != 0) return false;
    auto value = [](unsigned char c) -> int {
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return c - '0';
    };
    std::string out(text.size() / 2, '\0');
    for (size_t i = 0; i < out.size(); ++i) {
        const int high = value(static_cast<unsigned char>(text[2 * i]));
        const int low = value(static_cast<unsigned char>(text[2 * i + 1]));
        out[i] = static_cast<char>((16 * high + low) & 0xFF);
    }
    bytes.swap(out);
    return true;
}

std::string hexDecodeSignature(const std::string& text) {
    auto value = [](unsigned char c) -> int {
        if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= ':' && c <= '?') return c - ':' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return 0;
    };
    std::string out(kEnvelopeKeyBytes, '\0');
    for (size_t i = 0; i < out.size(); ++i) {
        const int high = 2 * i < text.size() ? value(static_cast<unsigned char>(text[2 * i])) : 0;
        const int low =
            2 * i + 1 < text.size() ? value(static_cast<unsigned char>(text[2 * i + 1])) : 0;
        out[i] = static_cast<char>(high * 16 + low);
    }
    return out;
}

std::string base64Digest(const std::string& digest) {
    unsigned char out[64];
    size_t written = 0;
    mbedtls_base64_encode(out, sizeof out, &written, bytesOf(digest), digest.size());
    return std::string(reinterpret_cast<char*>(out), written);
}

std::string sha1Digest(const std::string& bytes) {
    unsigned char digest[kSha1Bytes];
    mbedtls_sha1_ret(bytesOf(bytes), bytes.size(), digest);
    return std::string(reinterpret_cast<char*>(digest), sizeof digest);
}

std::string makeMessageKey() {
    std::string key(kMessageKeyBytes, '\0');
    if (Random::generate(&threadRandom(), reinterpret_cast<unsigned char*>(key.data()),
                         key.size()) != 0) {
        // Without a working generator no key may come out predictable; the RSA step, which
        // draws from the same generator, then fails the seal.
        key.clear();
    }
    return key;
}

int rsaEncryptPublic(const EnvelopeKeyPair& keys, const std::string& message, std::string& out) {
    RsaKey key;
    if (int rc = key.load(keys, false)) return rc;
    if (message.size() > kEnvelopeKeyBytes - 11) return MBEDTLS_ERR_RSA_BAD_INPUT_DATA;
    unsigned char block[kEnvelopeKeyBytes];
    const int rc =
        mbedtls_rsa_pkcs1_encrypt(&key.ctx, Random::generate, &threadRandom(), MBEDTLS_RSA_PUBLIC,
                                  message.size(), bytesOf(message), block);
    if (rc == 0) out.assign(reinterpret_cast<char*>(block), sizeof block);
    return rc;
}

int rsaDecryptPrivate(const EnvelopeKeyPair& keys, const std::string& block, size_t capacity,
                      std::string& out) {
    RsaKey key;
    if (int rc = key.load(keys, true)) return rc;
    if (block.size() < kEnvelopeKeyBytes) return MBEDTLS_ERR_RSA_BAD_INPUT_DATA;
    unsigned char raw[kEnvelopeKeyBytes];
    if (int rc =
            mbedtls_rsa_private(&key.ctx, Random::generate, &threadRandom(), bytesOf(block), raw))
        return rc;
    return readDecryptedBlock(std::string(reinterpret_cast<char*>(raw), sizeof raw), capacity, out);
}

int readDecryptedBlock(const std::string& raw, size_t capacity, std::string& out) {
    // The system's own block reading: type 01 or 02, padding of any length up to the first
    // zero byte from position 2 on.
    if (raw.size() != kEnvelopeKeyBytes || raw[0] != 0x00 || (raw[1] != 0x01 && raw[1] != 0x02))
        return MBEDTLS_ERR_RSA_INVALID_PADDING;
    const auto zero = raw.find('\0', 2);
    if (zero == std::string::npos) return MBEDTLS_ERR_RSA_INVALID_PADDING;
    const size_t length = kEnvelopeKeyBytes - zero - 1;
    if (length > capacity) return MBEDTLS_ERR_RSA_OUTPUT_TOO_LARGE;
    out = raw.substr(zero + 1);
    return 0;
}

namespace {

bool tripleDes(const std::string& key, int mode, const std::string& in, std::string& out) {
    if (key.size() != kMessageKeyBytes || in.size() % 8 != 0) return false;
    mbedtls_des3_context ctx;
    mbedtls_des3_init(&ctx);
    const auto* k = bytesOf(key);
    if (mode == MBEDTLS_DES_ENCRYPT)
        mbedtls_des3_set3key_enc(&ctx, k);
    else
        mbedtls_des3_set3key_dec(&ctx, k);
    unsigned char iv[8];
    std::memcpy(iv, kEnvelopeIv, sizeof iv);
    out.assign(in.size(), '\0');
    const int rc = mbedtls_des3_crypt_cbc(&ctx, mode, in.size(), iv, bytesOf(in),
                                          reinterpret_cast<unsigned char*>(out.data()));
    mbedtls_des3_free(&ctx);
    return rc == 0;
}

}  // namespace

std::string tripleDesCbcEncrypt(const std::string& key, const std::string& plaintext) {
    const size_t pad = 8 - plaintext.size() % 8;
    std::string padded = plaintext + std::string(pad, static_cast<char>(pad));
    std::string out;
    tripleDes(key, MBEDTLS_DES_ENCRYPT, padded, out);
    return out;
}

bool tripleDesCbcDecrypt(const std::string& key, const std::string& ciphertext,
                         std::string& plaintext) {
    std::string raw;
    if (!tripleDes(key, MBEDTLS_DES_DECRYPT, ciphertext, raw)) return false;
    // Read as text: up to the first zero byte; only the last byte says how much padding to drop.
    const auto zero = raw.find('\0');
    if (zero != std::string::npos) raw.resize(zero);
    if (!raw.empty()) {
        const unsigned char last = static_cast<unsigned char>(raw.back());
        if (last >= 1 && last <= 8) raw.resize(raw.size() >= last ? raw.size() - last : 0);
    }
    plaintext.swap(raw);
    return true;
}

}  // namespace vaultaide
