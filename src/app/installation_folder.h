#pragma once
// The installation folder: made, a real folder, and closed to standard users before anything in
// it is read, started or replaced by the elevated program.
#include <string>

namespace vaultaide {

struct AppState;
struct Platform;

// The installation folder the registry names; empty when none is registered.
std::string registeredInstallation(Platform& platform, const AppState& app);

enum class FolderGuard {
    Closed,     // only administrators and the system could change it already
    Protected,  // others could change it until now, or can swap it from above: what it holds
                // may be anyone's
    Failed,     // it stays open to others
};
// Outside Program Files, a folder whose access list lets others than administrators, the system
// and the installer service change it gets the list installers give theirs (administrators as
// its owner), so that standard users cannot plant files or links in what the elevated program
// installs and starts; one below a folder that others may rename, remove or change the entries
// of stays theirs (Protected). Every level from the drive's root down is held while it is
// checked and protected: a level that is a link, junction or mount point fails, and so do a
// drive's root and a path with "." or ".." levels.
FolderGuard protectInstallationFolder(Platform& platform, const std::string& path);
// Whether the folder is to become an installation (the options page, a first installation) or
// is the registered one.
enum class FolderUse { New, Existing };
// Creates the installation folder and its missing parents, each level held from the drive's
// root down as a real folder (a link in the folder's own place is removed, a link above it
// fails); outside Program Files the first level it makes carries the protected list from its
// creation on. False when the folder cannot be made or protected, its path is a drive's root or
// has "." or ".." levels, or, for a new installation, others may swap it from above; guard,
// when given, receives how the folder was found.
bool createInstallationFolder(Platform& platform, const std::string& path,
                              FolderGuard* guard = nullptr, FolderUse use = FolderUse::New);
// Both paths name one folder as Windows compares names: "/" as "", repeated and trailing
// separators aside, ASCII letters in either case, double-byte characters exactly.
bool sameInstallationFolder(const std::string& a, const std::string& b);

}  // namespace vaultaide
