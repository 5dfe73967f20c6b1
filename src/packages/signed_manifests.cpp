#include "packages/signed_manifests.h"

#include <openssl/core_names.h>
#include <openssl/decoder.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <memory>
#include <utility>

#include "packages/install_job.h"
#include "packages/release_identity.h"
#include "platform/platform.h"
#include "protocol/crypto.h"
#include "protocol/download.h"

namespace vaultaide {

namespace {

using PKey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

// Reads a PKCS#1 RSAPublicKey from its PEM "RSA PUBLIC KEY" text.
PKey readRsaPublicKey(const std::string& pem) {
    EVP_PKEY* key = nullptr;
    OSSL_DECODER_CTX* decoder = OSSL_DECODER_CTX_new_for_pkey(
        &key, "PEM", "type-specific", "RSA", EVP_PKEY_PUBLIC_KEY, nullptr, nullptr);
    if (decoder) {
        const auto* data = reinterpret_cast<const unsigned char*>(pem.data());
        size_t length = pem.size();
        if (!OSSL_DECODER_from_data(decoder, &data, &length)) key = nullptr;
        OSSL_DECODER_CTX_free(decoder);
    }
    return PKey(key, EVP_PKEY_free);
}

}  // namespace

bool signedMessage(const std::string& bytes, std::string& message, std::string& signatureHex) {
    const auto last = bytes.rfind('<');
    if (last == std::string::npos || last < kSignatureBlockBytes) return false;
    const size_t block = last - kSignatureBlockBytes;
    if (bytes.compare(block, kSignatureMarkerBytes, kSignatureMarker, kSignatureMarkerBytes) != 0)
        return false;
    signatureHex = bytes.substr(block + kSignatureMarkerBytes, kSignatureDigits);
    message = bytes.substr(0, block) + bytes.substr(last);
    return true;
}

bool verifySignedBytes(const std::string& bytes, const std::string& publicKeyPem) {
    PKey key = readRsaPublicKey(publicKeyPem);
    if (!key) return false;
    std::string message, signatureHex;
    if (!signedMessage(bytes, message, signatureHex)) return false;
    const std::string signature = hexDecodeSignature(signatureHex);
    const std::string digest = sha1Digest(message);

    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(
        EVP_PKEY_CTX_new(key.get(), nullptr), EVP_PKEY_CTX_free);
    unsigned char recovered[512];
    size_t recoveredLength = sizeof recovered;
    if (!ctx || EVP_PKEY_verify_recover_init(ctx.get()) <= 0 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0 ||
        EVP_PKEY_verify_recover(ctx.get(), recovered, &recoveredLength,
                                reinterpret_cast<const unsigned char*>(signature.data()),
                                signature.size()) <= 0)
        return false;
    return recoveredLength == kSha1Bytes &&
           std::string(reinterpret_cast<char*>(recovered), recoveredLength) == digest;
}

bool readManifestBytes(Files& files, const std::string& path, std::string& bytes) {
    bytes.clear();
    bool tooLarge = false;
    const bool read = files.readChunks(
        path, 4096,
        [&](const char* data, size_t size) {
            if (bytes.size() + size > kMaxManifestBytes) tooLarge = true;
            if (!tooLarge) bytes.append(data, size);
        },
        kMaxManifestBytes);
    return read && !tooLarge;
}

bool verifySignedFile(Files& files, const std::string& path, const std::string& publicKeyPem) {
    std::string bytes;
    return readManifestBytes(files, path, bytes) && verifySignedBytes(bytes, publicKeyPem);
}

bool fetchSignedManifests(Platform& platform, InstallJob& job, const std::string& publicKeyPem) {
    const bool intoDownloadFolder =
        job.mode != 0 && platform.files.exists(job.manifestInstalledPathOf(kCommonManifest)) &&
        platform.files.exists(job.manifestInstalledPathOf(kBankManifest));
    job.manifestsInDownloadFolder = intoDownloadFolder;
    for (int set : {kCommonManifest, kBankManifest}) {
        const std::string& target =
            intoDownloadFolder ? job.manifestDownloadPathOf(set) : job.manifestInstalledPathOf(set);
        job.progress().downloading("配置文件");
        job.manifests.forget(target);
        // Only a manifest this run fetched whole and whose signature holds takes the place of
        // the target; an error answer never lets an older copy stand in for it. The release it
        // names must be the one the answer announced, for this bank: a forged answer cannot
        // register a version the files are not. The run reads the bytes that were checked,
        // never the file again. Signed bytes that do not parse fail as a bad signature does: the
        // signature leaves some bytes unexamined, and an unparsed manifest lists nothing.
        std::string signedBytes;
        LoadedManifest parsed;
        if (!downloadAccepted(
                platform.http, platform.files, job.manifestUrlOf(set), target, nullptr,
                [&](const std::string& staged) {
                    return readManifestBytes(platform.files, staged, signedBytes) &&
                           verifySignedBytes(signedBytes, publicKeyPem) &&
                           (parsed = manifestEntriesOfText(platform.text, signedBytes)).exists &&
                           releaseIdentityMatches(signedBytes, platform.text, job.serverVersion,
                                                  job.bankCode);
                },
                kMaxManifestBytes))
            return false;
        job.manifests.put(target, std::move(parsed));
        job.manifestDigest[set - 1] = base64Digest(sha1Digest(signedBytes));
    }
    return true;
}

}  // namespace vaultaide
