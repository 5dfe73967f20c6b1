#include "manifest_writer.h"

#include <iconv.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>

#include "../common/key_folder.h"
#include "packages/digest_manifest.h"
#include "packages/signature_block.h"
#include "protocol/crypto.h"

namespace vaultaide::tools {

namespace fs = std::filesystem;

namespace {

std::string xmlEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// The GBK bytes of a UTF-8 name: the program asks for a file by the GBK bytes of its manifest
// name, so the served tree holds each file under those bytes, which any static web server
// finds. False when the name is not UTF-8 or has a character GBK lacks.
bool gbkNameOf(const std::string& utf8, std::string& gbk) {
    iconv_t cd = iconv_open("GBK", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string in = utf8;
    std::string out(utf8.size() * 2 + 4, '\0');
    char* inPtr = in.data();
    size_t inLeft = in.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    const bool ok = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) &&
                    iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != static_cast<size_t>(-1);
    iconv_close(cd);
    if (!ok) return false;
    gbk.assign(out.data(), out.size() - outLeft);
    return true;
}

// PKCS#1 v1.5 block type 01 over the bare digest, without a DigestInfo around it.
bool signDigest(const std::string& privateKeyPem, const std::string& digest, std::string& signature,
                std::string& error) {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(
        BIO_new_mem_buf(privateKeyPem.data(), static_cast<int>(privateKeyPem.size())), BIO_free);
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr), EVP_PKEY_free);
    if (!key) {
        error = "the manifest private key does not read";
        return false;
    }
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(
        EVP_PKEY_CTX_new(key.get(), nullptr), EVP_PKEY_CTX_free);
    unsigned char out[512];
    size_t length = sizeof out;
    if (!ctx || EVP_PKEY_sign_init(ctx.get()) <= 0 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0 ||
        EVP_PKEY_sign(ctx.get(), out, &length,
                      reinterpret_cast<const unsigned char*>(digest.data()), digest.size()) <= 0 ||
        length != kEnvelopeKeyBytes) {
        error = "signing failed (the manifest key must be 1024-bit RSA)";
        return false;
    }
    signature.assign(reinterpret_cast<char*>(out), length);
    return true;
}

std::string fileDigestOf(const fs::path& file) {
    std::string bytes;
    readTextFile(file.string(), bytes);
    return base64Digest(sha1Digest(bytes));
}

}  // namespace

bool writeSignedManifest(const std::vector<ManifestFile>& files, const std::string& privateKeyPem,
                         std::string& manifest, std::string& error) {
    std::string content =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Digest>\r\n<FileInfo>\r\n";
    for (const auto& file : files)
        content += "<File Path=\"" + xmlEscape(file.path) + "\" FileName=\"" +
                   xmlEscape(file.fileName) + "\" Digest=\"" + file.digest + "\"/>\r\n";
    content += "</FileInfo>";
    const std::string tail = "</Digest>\r\n";
    std::string signature;
    if (!signDigest(privateKeyPem, sha1Digest(content + tail), signature, error)) return false;
    manifest = content + signatureBlock(hexEncode(signature)) + tail;
    return true;
}

bool collectReleaseFiles(const std::string& folder, std::vector<ManifestFile>& files,
                         std::string& error) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        error = folder + " is not a folder";
        return false;
    }
    files.clear();
    for (const auto& item : fs::directory_iterator(folder)) {
        const std::string name = item.path().filename().string();
        if (item.is_symlink()) {
            error = item.path().string() + ": links are not published";
            return false;
        }
        if (item.is_regular_file()) {
            files.push_back({"", name, fileDigestOf(item.path())});
            continue;
        }
        if (!item.is_directory()) {
            error = item.path().string() + " is neither a file nor a folder";
            return false;
        }
        for (const auto& inner : fs::directory_iterator(item.path())) {
            if (!inner.is_regular_file() || inner.is_symlink()) {
                error = inner.path().string() +
                        ": only files one folder deep are installed (Path is one level)";
                return false;
            }
            files.push_back({name, inner.path().filename().string(), fileDigestOf(inner.path())});
        }
    }
    std::sort(files.begin(), files.end(), [](const ManifestFile& a, const ManifestFile& b) {
        return a.path != b.path ? a.path < b.path : a.fileName < b.fileName;
    });
    return true;
}

bool publishRelease(const std::string& commonFolder, const std::string& bankFolder, int bankCode,
                    const std::string& keyFolder, const std::string& out, std::string& error) {
    std::string privateKey;
    if (!readTextFile(keyFolder + "/" + kManifestPrivateKeyFile, privateKey)) {
        error = "cannot read " + keyFolder + "/" + kManifestPrivateKeyFile;
        return false;
    }
    std::vector<ManifestFile> common, bank;
    if (!collectReleaseFiles(commonFolder, common, error) ||
        !collectReleaseFiles(bankFolder, bank, error))
        return false;
    std::set<std::pair<std::string, std::string>> seen;
    for (const auto* set : {&common, &bank})
        for (const auto& file : *set)
            if (!seen.insert({file.path, file.fileName}).second) {
                error =
                    "both sets hold " + (file.path.empty() ? "" : file.path + "/") + file.fileName;
                return false;
            }

    std::error_code ec;
    fs::create_directories(out, ec);
    for (const auto& [folder, files] :
         {std::make_pair(&commonFolder, &common), std::make_pair(&bankFolder, &bank)})
        for (const auto& file : *files) {
            const fs::path from = fs::path(*folder) / file.path / file.fileName;
            std::string servedPath, servedName;
            if (!gbkNameOf(file.path, servedPath) || !gbkNameOf(file.fileName, servedName)) {
                error = from.string() + ": the name cannot be written in GBK";
                return false;
            }
            const fs::path to = fs::path(out) / servedPath / servedName;
            fs::create_directories(to.parent_path(), ec);
            if (!fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec)) {
                error = "cannot copy " + from.string() + ": " + ec.message();
                return false;
            }
        }
    for (const auto& [set, files] :
         {std::make_pair(kCommonManifest, &common), std::make_pair(kBankManifest, &bank)}) {
        std::string manifest;
        if (!writeSignedManifest(*files, privateKey, manifest, error)) return false;
        const std::string path = out + "/" + manifestFileName(set, bankCode);
        if (!writeTextFile(path, manifest)) {
            error = "cannot write " + path;
            return false;
        }
    }
    return true;
}

}  // namespace vaultaide::tools
