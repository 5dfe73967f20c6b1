#include "release_check.h"

#include <unistd.h>

#include <cstdlib>

#include "log_text.h"
#include "packages/digest_manifest.h"
#include "packages/release_identity.h"
#include "platform/text_encoding.h"
#include "static_files.h"

namespace vaultaide::tools {

namespace {

constexpr char kSelf[] = "{self}";

// Only the root element's attributes are read, which are ASCII: nothing to convert.
class AsIs : public TextEncoding {
public:
    std::string utf8ToAnsi(const std::string& utf8) override { return utf8; }
    bool utf8ToAnsiExactly(const std::string& utf8, std::string& ansi) override {
        ansi = utf8;
        return true;
    }
};

// The whole file at path under root, when it is a regular file of a manifest's size at most.
bool readServed(int rootFd, const std::string& path, std::string& text) {
    const ServedFile file = openServedFile(rootFd, path);
    if (file.fd < 0) return false;
    bool whole = file.size <= kMaxManifestBytes;
    text.assign(whole ? file.size : 0, '\0');
    for (size_t done = 0; whole && done < text.size();) {
        const ssize_t n = pread(file.fd, &text[done], text.size() - done, static_cast<off_t>(done));
        whole = n > 0;
        done += whole ? static_cast<size_t>(n) : 0;
    }
    close(file.fd);
    return whole;
}

// The name the program asks for, from the bank code as the configuration writes it (hex).
std::string bankManifestName(const std::string& bank) {
    return manifestFileName(kBankManifest,
                            static_cast<int32_t>(std::strtoul(bank.c_str(), nullptr, 16)));
}

bool servedHere(const BankRelease& release) {
    return release.url.compare(0, sizeof kSelf - 1, kSelf) == 0;
}

}  // namespace

bool checkServedReleases(const ReleaseConfig& config, int rootFd, std::string& error) {
    AsIs encoding;
    for (const auto& [bank, release] : config.banks) {
        if (!servedHere(release)) continue;
        const std::string folder = release.url.substr(sizeof kSelf - 1);
        for (const std::string& name : {std::string("Digest.xml"), bankManifestName(bank)}) {
            std::string text, named;
            DigestManifest manifest(encoding);
            if (!readServed(rootFd, folder + "/" + name, text) || !manifest.loadText(text) ||
                !manifest.rootAttribute(kReleaseVersionAttribute, named) ||
                named == release.version)
                continue;
            error = "bank " + bank + " is configured with version " + release.version + " but " +
                    release.url + "/" + name + " names " + logField(named, 40);
            return false;
        }
    }
    return true;
}

std::vector<std::string> missingServedManifests(const ReleaseConfig& config, int rootFd) {
    std::vector<std::string> missing;
    for (const auto& [bank, release] : config.banks) {
        if (!servedHere(release)) continue;
        const std::string folder = release.url.substr(sizeof kSelf - 1);
        for (const std::string& name : {std::string("Digest.xml"), bankManifestName(bank)}) {
            const ServedFile file = openServedFile(rootFd, folder + "/" + name);
            if (file.fd >= 0) {
                close(file.fd);
                continue;
            }
            missing.push_back("bank " + bank + ": " + release.url + "/" + name +
                              " is not served: its clients cannot update");
            break;
        }
    }
    return missing;
}

}  // namespace vaultaide::tools
