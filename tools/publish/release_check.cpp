#include "release_check.h"

#include <openssl/evp.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "../common/key_folder.h"
#include "packages/digest_manifest.h"
#include "packages/release_identity.h"
#include "packages/signed_manifests.h"
#include "platform/text_encoding.h"
#include "protocol/crypto.h"
#include "release_names.h"

namespace vaultaide::tools {

namespace fs = std::filesystem;

namespace {

// Base64 SHA-1 of a file, read in pieces; empty when it cannot be read.
std::string fileDigest(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "";
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                    EVP_MD_CTX_free);
    if (!context || !EVP_DigestInit_ex(context.get(), EVP_sha1(), nullptr)) return "";
    std::vector<char> buffer(1 << 16);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        if (in.gcount() > 0)
            EVP_DigestUpdate(context.get(), buffer.data(), static_cast<size_t>(in.gcount()));
    }
    if (in.bad()) return "";
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context.get(), digest, &length);
    return base64Digest(std::string(reinterpret_cast<char*>(digest), length));
}

// Names as the program asks for them: the GBK bytes of the manifest's UTF-8 text.
class GbkEncoding : public TextEncoding {
public:
    std::string utf8ToAnsi(const std::string& utf8) override {
        std::string gbk;
        utf8ToAnsiExactly(utf8, gbk);
        return gbk;
    }
    bool utf8ToAnsiExactly(const std::string& utf8, std::string& ansi) override {
        if (gbkNameOf(utf8, ansi)) return true;
        ansi = "?";
        return false;
    }
};

std::string attributeOf(const TiXmlElement& element, const char* name) {
    const char* value = element.Attribute(name);
    return value ? value : "";
}

// One line per listed file of the manifest that the folder does not hold as listed.
int checkListedFiles(DigestManifest& manifest, const std::string& file, const std::string& folder,
                     std::ostream& out) {
    const TiXmlElement* list = manifest.findElement("FileInfo", 1);
    if (!list) return 0;
    int faults = 0;
    for (const TiXmlElement* entry = list->FirstChildElement(); entry;
         entry = entry->NextSiblingElement()) {
        const std::string path = attributeOf(*entry, "Path");
        const std::string name = attributeOf(*entry, "FileName");
        std::string servedPath, servedName;
        const std::string shown = (path.empty() ? "" : path + "/") + name;
        std::string fault;
        if (!gbkNameOf(path, servedPath) || !gbkNameOf(name, servedName))
            fault = "the name has no GBK spelling";
        else {
            const fs::path served = fs::path(folder) / servedPath / servedName;
            std::error_code ec;
            if (!fs::is_regular_file(fs::symlink_status(served, ec)))
                fault = "missing (or not a regular file)";
            else if (fileDigest(served) != attributeOf(*entry, "Digest"))
                fault = "the content differs from the manifest's digest";
        }
        if (fault.empty()) continue;
        out << file << ": " << shown << ": FAILED: " << fault << "\n";
        ++faults;
    }
    return faults;
}

}  // namespace

std::string whyUnverified(const std::string& bytes, const std::string& publicKeyPem) {
    std::string message, signature;
    if (!signedMessage(bytes, message, signature))
        return "no signature block (CR LF \"<Sign>\" 273 bytes before the last \"<\")";
    if (!verifySignedBytes(bytes, publicKeyPem))
        return "the signature does not match the content or the key";
    return "";
}

int checkManifest(const std::string& file, const std::string& publicKeyPem, std::ostream& out,
                  const std::string& folder) {
    std::string bytes, reason;
    GbkEncoding encoding;
    DigestManifest manifest(encoding);
    if (!readTextFile(file, bytes))
        reason = "cannot read the file";
    else
        reason = whyUnverified(bytes, publicKeyPem);
    // Signed content that does not parse is no manifest the program would take.
    if (reason.empty() && !manifest.loadText(bytes))
        reason = "the signature holds but the content is not a manifest";
    if (!reason.empty()) {
        out << file << ": FAILED: " << reason << "\n";
        return 1;
    }
    std::string version, bank;
    const bool named = manifest.rootAttribute(kReleaseVersionAttribute, version) &&
                       manifest.rootAttribute(kReleaseBankAttribute, bank);
    out << file << ": signature valid, "
        << (named ? "Version " + version + ", BankID " + bank
                  : "names no release (no Version and BankID)")
        << ", " << manifest.entryCount() << (manifest.entryCount() == 1 ? " file" : " files")
        << "\n";
    return folder.empty() ? 0 : checkListedFiles(manifest, file, folder, out);
}

int checkReleaseFolder(const std::string& folder, const std::string& publicKeyPem,
                       std::ostream& out) {
    std::vector<std::string> manifests;
    std::error_code ec;
    for (const auto& item : fs::directory_iterator(folder, ec))
        if (item.is_regular_file() && isManifestName(item.path().filename().string()))
            manifests.push_back(item.path().filename().string());
    std::sort(manifests.begin(), manifests.end());
    if (ec || std::find(manifests.begin(), manifests.end(), "Digest.xml") == manifests.end()) {
        out << folder << ": FAILED: no Digest.xml (not a release folder)\n";
        return 1;
    }
    int faults = 0;
    for (const auto& name : manifests)
        faults += checkManifest((fs::path(folder) / name).string(), publicKeyPem, out, folder);
    return faults;
}

}  // namespace vaultaide::tools
