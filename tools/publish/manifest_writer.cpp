#include "manifest_writer.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <memory>
#include <set>

#include "../common/key_folder.h"
#include "app/bank_profile.h"
#include "app/system_utils.h"
#include "install/registration.h"
#include "packages/digest_manifest.h"
#include "packages/package_download.h"
#include "packages/release_identity.h"
#include "packages/signature_block.h"
#include "protocol/crypto.h"
#include "release_names.h"

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

// Copies from to the new file to, flushed to disk, and digests the bytes that were copied.
bool copyAndDigest(const fs::path& from, const fs::path& to, std::string& digest,
                   std::string& error) {
    const int in = open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0) {
        error = "cannot read " + from.string() + ": " + std::strerror(errno);
        return false;
    }
    const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> sha1(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    bool ok = out >= 0 && sha1 && EVP_DigestInit_ex(sha1.get(), EVP_sha1(), nullptr) == 1;
    error = out < 0 ? "cannot write " + to.string() + ": " + std::strerror(errno) : "";
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
        if (!ok) error = "cannot write " + to.string() + ": " + std::strerror(errno);
    }
    unsigned char bytes[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    ok = ok && EVP_DigestFinal_ex(sha1.get(), bytes, &length) == 1;
    if (ok && fsync(out) != 0) {
        error = "cannot write " + to.string() + ": " + std::strerror(errno);
        ok = false;
    }
    close(in);
    if (out >= 0 && close(out) != 0 && ok) {
        error = "cannot write " + to.string() + ": " + std::strerror(errno);
        ok = false;
    }
    if (!ok) {
        if (error.empty()) error = "cannot digest " + from.string();
        return false;
    }
    digest = base64Digest(std::string(reinterpret_cast<char*>(bytes), length));
    return true;
}

// Windows compares the names of one folder regardless of letter case, and every installation
// has the standard folders and the staging folder: each file's name must differ there from all
// of these and from every other file of both sets.
bool refuseNameClashes(
    std::initializer_list<std::pair<std::string, const std::vector<ManifestFile>*>> sets,
    std::string& error) {
    std::map<std::u32string, std::pair<std::string, std::string>> seen;  // relative, source
    for (const char* folder : kStandardFolders) seen[windowsNameKey(folder)] = {folder, ""};
    seen[windowsNameKey(kStagingFolder)] = {kStagingFolder, ""};
    for (const auto& [folder, files] : sets)
        for (const auto& file : *files) {
            const std::string relative = (file.path.empty() ? "" : file.path + "/") + file.fileName;
            const std::string source = (fs::path(folder) / relative).string();
            const auto added = seen.emplace(windowsNameKey(relative), std::pair(relative, source));
            if (added.second) continue;
            const auto& [firstRelative, firstSource] = added.first->second;
            if (firstSource.empty())
                error = source + ": the installation always has a folder " + firstRelative +
                        (firstRelative == kStagingFolder ? " (its staging folder)" : "") +
                        " of this name, letter case aside";
            else if (firstRelative == relative)
                error = "both sets hold " + relative + ": " + firstSource + " and " + source;
            else
                error =
                    firstSource + " and " + source + " are one name on Windows, letter case aside";
            return false;
        }
    return true;
}

// The folder a release is written in before it moves into place: private to this user, and
// named with "..", which no published name may hold (nor any name the program takes), so
// nothing published ever meets it. Removed with whatever is left in it.
// A release published over an earlier one: once the new manifests are in place, the files of
// the installation's layout (top level and standard folders) that the new release does not
// serve go, so the folder holds one release. A folder that also serves another bank's manifest
// keeps every file, as that manifest may list them.
bool removeEarlierFiles(const std::string& out, const std::vector<std::string>& served,
                        std::string& error) {
    const std::set<std::string> kept(served.begin(), served.end());
    std::error_code listing;
    for (const auto& item : fs::directory_iterator(fs::path(out), listing)) {
        const std::string name = item.path().filename().string();
        if (isManifestName(name) && !kept.count(name)) return true;
    }
    std::vector<std::string> folders = {""};
    folders.insert(folders.end(), std::begin(kStandardFolders), std::end(kStandardFolders));
    for (const auto& folder : folders) {
        std::error_code ec;
        for (const auto& item : fs::directory_iterator(fs::path(out) / folder, ec)) {
            const std::string name = item.path().filename().string();
            const std::string relative = (fs::path(folder) / name).string();
            if ((!item.is_symlink() && !item.is_regular_file()) || kept.count(relative) ||
                (folder.empty() && isManifestName(name)))
                continue;
            if (!fs::remove(item.path(), ec)) {
                error = "published, but the earlier release's " + relative +
                        " could not be removed: " + ec.message();
                return false;
            }
        }
    }
    return true;
}

struct WorkFolder {
    std::string path;
    bool create(const std::string& parent) {
        std::string name = parent + "/..publishing-XXXXXX";
        if (!mkdtemp(name.data())) return false;
        path = name;
        return true;
    }
    ~WorkFolder() {
        std::error_code ec;
        if (!path.empty()) fs::remove_all(path, ec);
    }
};

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
            if (windowsNameKey(name) == windowsNameKey(kOldSelfName))
                return refuse(item.path(),
                              "the program moves its own file to this name during an update");
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
        !collectReleaseFiles(bankFolder, bank, error) ||
        !refuseNameClashes({{commonFolder, &common}, {bankFolder, &bank}}, error))
        return false;

    if (out.empty()) {
        error = "no folder to publish into";
        return false;
    }
    std::error_code ec;
    const bool overEarlierRelease = fs::is_regular_file(fs::path(out) / "Digest.xml", ec);
    fs::create_directories(out, ec);
    WorkFolder work;
    if (ec || !work.create(out)) {
        error = "cannot create a folder in " + out + ": " +
                (ec ? ec.message() : std::string(std::strerror(errno)));
        return false;
    }
    std::vector<std::string> served;  // each file's path under out, then the manifests'
    for (const auto& [folder, files] :
         {std::make_pair(&commonFolder, &common), std::make_pair(&bankFolder, &bank)})
        for (auto& file : *files) {
            const fs::path from = fs::path(*folder) / file.path / file.fileName;
            std::string servedPath, servedName;
            if (!gbkNameOf(file.path, servedPath) || !gbkNameOf(file.fileName, servedName)) {
                error = from.string() + ": the name cannot be written in GBK";
                return false;
            }
            served.push_back((fs::path(servedPath) / servedName).string());
            fs::create_directories(fs::path(work.path) / servedPath, ec);
            if (!copyAndDigest(from, fs::path(work.path) / served.back(), file.digest, error))
                return false;
        }
    for (const auto& [set, files] :
         {std::make_pair(kCommonManifest, &common), std::make_pair(kBankManifest, &bank)}) {
        std::string manifest;
        served.push_back(manifestFileName(set, bankCode));
        if (!writeSignedManifest(*files, privateKey, manifest, error, {version, bankCode}) ||
            !createNewFile(work.path + "/" + served.back(), manifest, 0644, error))
            return false;
    }
    // Files first, manifests last: a client that reads a new manifest finds its files.
    for (const auto& name : served) {
        const fs::path to = fs::path(out) / name;
        fs::create_directories(to.parent_path(), ec);
        if (ec || rename((fs::path(work.path) / name).c_str(), to.c_str()) != 0) {
            error = "cannot move " + name + " into " + out + ": " +
                    (ec ? ec.message() : std::string(std::strerror(errno)));
            return false;
        }
    }
    return !overEarlierRelease || removeEarlierFiles(out, served, error);
}

}  // namespace vaultaide::tools
