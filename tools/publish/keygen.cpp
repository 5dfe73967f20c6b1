#include "keygen.h"

#include <mbedtls/base64.h>
#include <mbedtls/ctr_drbg.h>
#include <mbedtls/entropy.h>
#include <mbedtls/pk.h>
#include <mbedtls/rsa.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "../common/key_folder.h"

namespace vaultaide::tools {

namespace {

class Generator {
public:
    Generator() {
        mbedtls_entropy_init(&entropy_);
        mbedtls_ctr_drbg_init(&drbg);
        ok = mbedtls_ctr_drbg_seed(&drbg, mbedtls_entropy_func, &entropy_, nullptr, 0) == 0;
    }
    ~Generator() {
        mbedtls_ctr_drbg_free(&drbg);
        mbedtls_entropy_free(&entropy_);
    }
    mbedtls_ctr_drbg_context drbg;
    bool ok = false;

private:
    mbedtls_entropy_context entropy_;
};

// Lower-case hexadecimal of exactly digits characters.
std::string hexOf(const mbedtls_mpi& value, size_t digits) {
    char buffer[1100];
    size_t written = 0;
    if (mbedtls_mpi_write_string(&value, 16, buffer, sizeof buffer, &written) != 0) return "";
    std::string hex(buffer);
    for (char& c : hex) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (hex.size() < digits) hex.insert(0, digits - hex.size(), '0');
    return hex;
}

// The public half as PKCS#1 in a PEM "RSA PUBLIC KEY" block.
std::string publicKeyPem(mbedtls_pk_context& pk) {
    unsigned char der[1024];
    unsigned char* end = der + sizeof der;
    unsigned char* p = end;
    const int length = mbedtls_pk_write_pubkey(&p, der, &pk);
    if (length <= 0) return "";
    unsigned char base64[2048];
    size_t written = 0;
    mbedtls_base64_encode(base64, sizeof base64, &written, end - length, length);
    std::string pem = "-----BEGIN RSA PUBLIC KEY-----\n";
    for (size_t i = 0; i < written; i += 64)
        pem += std::string(reinterpret_cast<char*>(base64) + i, std::min<size_t>(64, written - i)) +
               "\n";
    return pem + "-----END RSA PUBLIC KEY-----\n";
}

}  // namespace

bool generateKeyFolder(const std::string& folder, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path parent = fs::path(folder).parent_path();
    if (!parent.empty() && !fs::is_directory(parent, ec)) fs::create_directories(parent, ec);
    // The folder is the owner's alone: made now with mode 0700, or already one like that.
    struct stat info;
    if (mkdir(folder.c_str(), 0700) != 0) {
        if (errno != EEXIST) {
            error = "cannot make the folder " + folder + ": " + std::strerror(errno);
            return false;
        }
        if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
            info.st_uid != geteuid() || (info.st_mode & 077) != 0) {
            error = folder +
                    " exists and is not a folder of mode 0700 of this user; keys go "
                    "into a new folder or such a one";
            return false;
        }
    }
    for (const char* name : {kEnvelopeKeyFile, kManifestPrivateKeyFile, kManifestPublicKeyFile}) {
        if (fs::symlink_status(fs::path(folder) / name, ec).type() != fs::file_type::not_found) {
            error = (fs::path(folder) / name).string() + " exists; keys are never overwritten";
            return false;
        }
    }
    Generator random;
    if (!random.ok) {
        error = "no entropy source";
        return false;
    }

    mbedtls_rsa_context envelope;
    mbedtls_rsa_init(&envelope, MBEDTLS_RSA_PKCS_V15, 0);
    bool ok =
        mbedtls_rsa_gen_key(&envelope, mbedtls_ctr_drbg_random, &random.drbg, 1024, 65537) == 0;
    EnvelopeKeyPair keys;
    if (ok) {
        keys = {hexOf(envelope.N, 256),  "010001",
                hexOf(envelope.D, 256),  hexOf(envelope.P, 128),
                hexOf(envelope.Q, 128),  hexOf(envelope.DP, 128),
                hexOf(envelope.DQ, 128), hexOf(envelope.QP, 128)};
    }
    mbedtls_rsa_free(&envelope);
    if (!ok) {
        error = "envelope key generation failed";
        return false;
    }

    mbedtls_pk_context manifest;
    mbedtls_pk_init(&manifest);
    ok = mbedtls_pk_setup(&manifest, mbedtls_pk_info_from_type(MBEDTLS_PK_RSA)) == 0 &&
         mbedtls_rsa_gen_key(mbedtls_pk_rsa(manifest), mbedtls_ctr_drbg_random, &random.drbg, 1024,
                             3) == 0;
    unsigned char privatePem[4096] = {};
    if (ok) ok = mbedtls_pk_write_key_pem(&manifest, privatePem, sizeof privatePem) == 0;
    const std::string publicPem = ok ? publicKeyPem(manifest) : "";
    mbedtls_pk_free(&manifest);
    if (!ok || publicPem.empty()) {
        error = "manifest key generation failed";
        return false;
    }

    const std::string base = folder + "/";
    const std::pair<std::string, std::pair<std::string, mode_t>> files[] = {
        {base + kEnvelopeKeyFile, {formatEnvelopeKeys(keys), 0600}},
        {base + kManifestPrivateKeyFile, {reinterpret_cast<char*>(privatePem), 0600}},
        {base + kManifestPublicKeyFile, {publicPem, 0644}},
    };
    std::vector<std::string> written;
    for (const auto& [path, content] : files) {
        if (!createNewFile(path, content.first, content.second, error)) {
            // A folder with part of a key set would be refused later; leave none.
            for (const auto& done : written) unlink(done.c_str());
            return false;
        }
        written.push_back(path);
    }
    return true;
}

}  // namespace vaultaide::tools
