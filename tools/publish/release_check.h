#pragma once
// What verify reports about manifests and a published release folder.
#include <ostream>
#include <string>

namespace vaultaide::tools {

// Why the manifest bytes do not verify with the public key, most specific reason first;
// empty when the signature holds.
std::string whyUnverified(const std::string& bytes, const std::string& publicKeyPem);

// Checks one manifest file and prints a line for it: its signature and, when that holds, the
// Version and BankID it signed. With folder given (the release folder it belongs to), every
// file it lists is also checked against its digest there, one line per file that is missing
// or differs. Returns the number of faults.
int checkManifest(const std::string& file, const std::string& publicKeyPem, std::ostream& out,
                  const std::string& folder = "");

// Checks every Digest*.xml at the top of a release folder as above; a folder without
// Digest.xml is one fault.
int checkReleaseFolder(const std::string& folder, const std::string& publicKeyPem,
                       std::ostream& out);

}  // namespace vaultaide::tools
