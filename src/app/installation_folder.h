#pragma once
// The installation folder: made, a real folder, and closed to standard users before anything in
// it is read, started or replaced by the elevated program.
#include <string>

namespace vaultaide {

struct Platform;

enum class FolderGuard {
    Closed,     // only administrators and the system could change it already
    Protected,  // others could change it until now: what it holds may be anyone's
    Failed,     // it stays open to others
};
// Outside Program Files, a folder whose access list lets others than administrators and the
// system change it gets the list installers give theirs (administrators as its owner), so that
// standard users cannot plant files or links in what the elevated program installs and starts.
FolderGuard protectInstallationFolder(Platform& platform, const std::string& path);
// Creates the installation folder and its missing parents, a real folder (a link in its place
// is removed), and protects the first folder it creates, or the installation folder when it
// made none. False when the folder cannot be made or protected.
bool createInstallationFolder(Platform& platform, const std::string& path);

}  // namespace vaultaide
