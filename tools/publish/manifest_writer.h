#pragma once
// Writes the signed Digest manifests of a release.
#include <string>
#include <vector>

namespace vaultaide::tools {

struct ManifestFile {
    std::string path;  // one folder level below the installation directory, or empty
    std::string fileName;
    std::string digest;  // Base64 SHA-1 of the content
};

// The release a manifest belongs to, written as the Version and BankID attributes of its root
// element, where the signature covers them. An empty version writes neither: a manifest as
// other tools make it, which the program accepts for any release.
struct ReleaseIdentity {
    std::string version;  // four numbers of 1 to 5 digits, as the server's "v"
    int bankCode = 0;
};

// The manifest text in UTF-8 with CR LF line ends, the release's attributes, entries in the
// given order, and the signature block the client reads; false with a reason when the key
// cannot sign.
bool writeSignedManifest(const std::vector<ManifestFile>& files, const std::string& privateKeyPem,
                         std::string& manifest, std::string& error,
                         const ReleaseIdentity& release = {});

// Collects the files of a release source folder, without digests yet: files directly in it
// (empty Path) and files in its sub-folders (Path = folder name), sorted by Path, then FileName.
// Refused with a reason: deeper files, links, folders other than Data, Plugins, Script and
// Tools (DownLoad above all), names Windows cannot have (control characters, < > : " / \ | ? *,
// a trailing dot or space, device names such as CON or com1.txt), a top-level Digest*.xml and a
// top-level vaultaide_old.exe (the name the program moves its own file to during an update).
bool collectReleaseFiles(const std::string& folder, std::vector<ManifestFile>& files,
                         std::string& error);

// Builds a served release tree: copies the common and the bank's files, each under the GBK
// bytes of its name, digesting the bytes copied, and writes Digest.xml and Digest_%.3x.xml,
// signed, all into a private folder inside out, then moves them into out, the manifests last.
// Refused before out is touched: names Windows would take for one in the installation folder
// or a sub-folder (letter case aside, the installation's own folders DownLoad, Data, Plugins,
// Script and Tools among them) and a bank code above 0xFFF. Both manifests name the release
// version (refused unless four numbers of 1 to 5 digits) and the bank code; without a version
// they name neither. Published over an earlier release (out holds a Digest.xml), the earlier
// files the new release lacks are removed once its manifests are in place.
bool publishRelease(const std::string& commonFolder, const std::string& bankFolder, int bankCode,
                    const std::string& keyFolder, const std::string& out, std::string& error,
                    const std::string& version = "");

}  // namespace vaultaide::tools
