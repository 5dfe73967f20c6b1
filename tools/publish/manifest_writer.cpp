#include "manifest_writer.h"

#include <fcntl.h>
#include <iconv.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>

#include "../common/key_folder.h"
#include "app/bank_profile.h"
#include "app/system_utils.h"
#include "install/registration.h"
#include "packages/digest_manifest.h"
#include "packages/entry_names.h"
#include "packages/release_identity.h"
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

std::string lowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Why the program (which takes the GBK name) or Windows cannot have a file of this name;
// empty when both can.
std::string nameFault(const std::string& name) {
    std::string gbk;
    if (!gbkNameOf(name, gbk)) return "a character GBK lacks, or is not UTF-8";
    if (!isPlainName(gbk))
        return "what the program refuses: \"\\\", \"/\", \":\", \"..\", a control character or a "
               "reserved device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9)";
    if (name.find_first_of("<>\"|?*\x7F") != std::string::npos)
        return "a character Windows does not allow in a name (< > \" | ? *)";
    if (name.back() == '.' || name.back() == ' ') return "a trailing dot or space";
    return "";
}

std::string folderFault(const std::string& folder) {
    if (lowerAscii(folder) == "download") return "DownLoad is the installation's staging folder";
    for (const char* allowed : kStandardFolders)
        if (folder == allowed) return "";
    return "only Data, Plugins, Script and Tools are installed folders";
}

bool isManifestName(const std::string& name) {
    const std::string lower = lowerAscii(name);
    return lower.compare(0, 6, "digest") == 0 && lower.size() >= 10 &&
           lower.compare(lower.size() - 4, 4, ".xml") == 0;
}

// Copies from to to (through a temporary name, renamed when complete) and digests the bytes
// that were copied.
bool copyAndDigest(const fs::path& from, const fs::path& to, std::string& digest,
                   std::string& error) {
    const int in = open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0) {
        error = "cannot read " + from.string() + ": " + std::strerror(errno);
        return false;
    }
    const fs::path temporary = to.string() + ".publishing";
    const int out =
        open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> sha1(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    bool ok = out >= 0 && sha1 && EVP_DigestInit_ex(sha1.get(), EVP_sha1(), nullptr) == 1;
    error = out < 0 ? "cannot write " + temporary.string() + ": " + std::strerror(errno) : "";
    char chunk[65536];
    while (ok) {
        const ssize_t n = read(in, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = "cannot read " + from.string() + ": " + std::strerror(errno);
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        EVP_DigestUpdate(sha1.get(), chunk, static_cast<size_t>(n));
        for (ssize_t done = 0; ok && done < n;) {
            const ssize_t written = write(out, chunk + done, static_cast<size_t>(n - done));
            ok = written > 0 || (written < 0 && errno == EINTR);
            if (written > 0) done += written;
        }
        if (!ok) error = "cannot write " + temporary.string() + ": " + std::strerror(errno);
    }
    unsigned char bytes[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    ok = ok && EVP_DigestFinal_ex(sha1.get(), bytes, &length) == 1;
    close(in);
    if (out >= 0 && close(out) != 0 && ok) {
        error = "cannot write " + temporary.string() + ": " + std::strerror(errno);
        ok = false;
    }
    if (ok && rename(temporary.c_str(), to.c_str()) != 0) {
        error = "cannot rename " + temporary.string() + ": " + std::strerror(errno);
        ok = false;
    }
    if (!ok) {
        unlink(temporary.c_str());
        if (error.empty()) error = "cannot digest " + from.string();
        return false;
    }
    digest = base64Digest(std::string(reinterpret_cast<char*>(bytes), length));
    return true;
}

// Writes path through a temporary file renamed over it, so a reader sees the old or the new
// manifest whole.
bool writeAtomically(const std::string& path, const std::string& text, std::string& error) {
    const std::string temporary = path + ".publishing";
    unlink(temporary.c_str());
    if (!createNewFile(temporary, text, 0644, error)) return false;
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot rename " + temporary + ": " + std::strerror(errno);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace

bool writeSignedManifest(const std::vector<ManifestFile>& files, const std::string& privateKeyPem,
                         std::string& manifest, std::string& error,
                         const ReleaseIdentity& release) {
    std::string root = "<Digest";
    if (!release.version.empty())
        root += std::string(" ") + kReleaseVersionAttribute + "=\"" + xmlEscape(release.version) +
                "\" " + kReleaseBankAttribute + "=\"" + hexTag3(release.bankCode) + "\"";
    std::string content =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n" + root + ">\r\n<FileInfo>\r\n";
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
    auto refuse = [&](const fs::path& item, const std::string& why) {
        error = item.string() + ": " + why;
        return false;
    };
    for (const auto& item : fs::directory_iterator(folder, ec)) {
        const std::string name = item.path().filename().string();
        if (item.is_symlink()) return refuse(item.path(), "links are not published");
        std::string fault = nameFault(name);
        if (!fault.empty()) return refuse(item.path(), "the name holds " + fault);
        if (item.is_regular_file()) {
            if (isManifestName(name))
                return refuse(item.path(),
                              "the installation folder's Digest*.xml are the "
                              "manifests themselves");
            files.push_back({"", name, ""});
            continue;
        }
        if (!item.is_directory()) return refuse(item.path(), "neither a file nor a folder");
        fault = folderFault(name);
        if (!fault.empty()) return refuse(item.path(), fault);
        for (const auto& inner : fs::directory_iterator(item.path(), ec)) {
            const std::string innerName = inner.path().filename().string();
            if (inner.is_symlink() || !inner.is_regular_file())
                return refuse(inner.path(),
                              "only files one folder deep are installed (Path is one level)");
            fault = nameFault(innerName);
            if (!fault.empty()) return refuse(inner.path(), "the name holds " + fault);
            files.push_back({name, innerName, ""});
        }
        if (ec) break;
    }
    if (ec) {
        error = "cannot list " + folder + ": " + ec.message();
        return false;
    }
    std::sort(files.begin(), files.end(), [](const ManifestFile& a, const ManifestFile& b) {
        return a.path != b.path ? a.path < b.path : a.fileName < b.fileName;
    });
    return true;
}

bool publishRelease(const std::string& commonFolder, const std::string& bankFolder, int bankCode,
                    const std::string& keyFolder, const std::string& out, std::string& error,
                    const std::string& version) {
    if (bankCode < 0 || bankCode > 0xFFF) {
        error = "the bank code must be at most fff (three hexadecimal digits)";
        return false;
    }
    if (!version.empty() && !isServerVersionText(version)) {
        error = "the version must be four numbers of 1 to 5 digits, as 1.0.0.2";
        return false;
    }
    std::string privateKey;
    if (!readTextFile(keyFolder + "/" + kManifestPrivateKeyFile, privateKey)) {
        error = "cannot read " + keyFolder + "/" + kManifestPrivateKeyFile;
        return false;
    }
    std::vector<ManifestFile> common, bank;
    if (!collectReleaseFiles(commonFolder, common, error) ||
        !collectReleaseFiles(bankFolder, bank, error))
        return false;
    // Windows finds files whatever the letter case: names may not differ in case alone.
    std::map<std::string, std::string> seen;
    for (const auto* set : {&common, &bank})
        for (const auto& file : *set) {
            const std::string shown = (file.path.empty() ? "" : file.path + "/") + file.fileName;
            const auto added = seen.emplace(lowerAscii(shown), shown);
            if (!added.second) {
                error = added.first->second == shown
                            ? "both sets hold " + shown
                            : added.first->second + " and " + shown + " differ only in case";
                return false;
            }
        }

    std::error_code ec;
    fs::create_directories(out, ec);
    for (const auto& [folder, files] :
         {std::make_pair(&commonFolder, &common), std::make_pair(&bankFolder, &bank)})
        for (auto& file : *files) {
            const fs::path from = fs::path(*folder) / file.path / file.fileName;
            std::string servedPath, servedName;
            if (!gbkNameOf(file.path, servedPath) || !gbkNameOf(file.fileName, servedName)) {
                error = from.string() + ": the name cannot be written in GBK";
                return false;
            }
            const fs::path to = fs::path(out) / servedPath / servedName;
            fs::create_directories(to.parent_path(), ec);
            if (!copyAndDigest(from, to, file.digest, error)) return false;
        }
    for (const auto& [set, files] :
         {std::make_pair(kCommonManifest, &common), std::make_pair(kBankManifest, &bank)}) {
        std::string manifest;
        if (!writeSignedManifest(*files, privateKey, manifest, error, {version, bankCode}) ||
            !writeAtomically(out + "/" + manifestFileName(set, bankCode), manifest, error))
            return false;
    }
    return true;
}

}  // namespace vaultaide::tools
