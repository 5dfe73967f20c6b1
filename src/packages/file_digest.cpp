#include "packages/file_digest.h"

#include <openssl/evp.h>

#include <memory>

#include "platform/files.h"
#include "protocol/crypto.h"

namespace vaultaide {

bool lockedDigest(LockedFile& file, std::string& digest) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> sha1(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!sha1 || !EVP_DigestInit_ex(sha1.get(), EVP_sha1(), nullptr)) return false;
    if (!file.readAll(65536, [&](const char* data, size_t size) {
            EVP_DigestUpdate(sha1.get(), data, size);
        }))
        return false;
    unsigned char raw[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(sha1.get(), raw, &length);
    digest = base64Digest(std::string(reinterpret_cast<char*>(raw), length));
    return true;
}

bool fileDigest(Files& files, const std::string& path, std::string& digest) {
    // A file that cannot be opened (missing, a link, held for writing) has no digest, so it
    // counts as changed.
    const auto file = files.openLocked(path);
    return file && lockedDigest(*file, digest);
}

bool digestDiffers(Files& files, const std::string& path, const std::string& expected) {
    std::string digest;
    fileDigest(files, path, digest);
    return digest != expected;
}

}  // namespace vaultaide
