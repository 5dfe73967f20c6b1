#include "app/installation_folder.h"

#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/version_check.h"
#include "base/gbk_text.h"
#include "platform/platform.h"

namespace vaultaide {

std::string registeredInstallation(Platform& platform, const AppState& app) {
    std::string installDir;
    auto key = platform.registry.openKey(ownRegistryKeyPath(app), kKeyRead);
    if (!key || !key->queryString("Path", installDir)) return std::string();
    return installDir;
}

namespace {

// The levels of a path, "/" read as "\" and empty levels dropped; a path that starts with a
// separator starts with an empty level. A double-byte character's bytes are never taken for a
// separator.
std::vector<std::string> levelsOf(const std::string& path) {
    std::vector<std::string> levels(1);
    for (size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if (isGbkLeadByte(c) && i + 1 < path.size()) {
            levels.back() += path.substr(i++, 2);
        } else if (c != '\\' && c != '/') {
            levels.back() += c;
        } else if (!levels.back().empty() || (i == 0 && levels.size() == 1)) {
            levels.emplace_back();
        }
    }
    if (levels.size() > 1 && levels.back().empty()) levels.pop_back();
    return levels;
}

// The levels as Windows compares names: ASCII letters in one case, double-byte characters as
// they are (their second byte may be an ASCII letter's).
std::string comparable(const std::vector<std::string>& levels) {
    std::string joined;
    for (size_t index = 0; index < levels.size(); ++index) {
        if (index > 0) joined += '\\';
        const std::string& level = levels[index];
        for (size_t i = 0; i < level.size(); ++i) {
            const char c = level[i];
            joined += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
            if (isGbkLeadByte(c) && i + 1 < level.size()) joined += level[++i];
        }
    }
    return joined;
}

// A "." or ".." level names another folder than the path's text seems to.
bool hasDotLevels(const std::vector<std::string>& levels) {
    for (const auto& level : levels)
        if (level == "." || level == "..") return true;
    return false;
}

// path is folder itself or lies below it.
bool liesIn(const std::vector<std::string>& path, const std::string& folder) {
    const auto levels = levelsOf(folder);
    return levels.size() <= path.size() && !hasDotLevels(levels) &&
           comparable(levels) ==
               comparable(std::vector<std::string>(path.begin(), path.begin() + levels.size()));
}

bool inProgramFiles(Platform& platform, const std::vector<std::string>& path) {
    std::string programFiles;
    return platform.shell.specialFolderPath(SpecialFolder::ProgramFiles, programFiles) &&
           !programFiles.empty() && liesIn(path, programFiles);
}

// A folder above that others may rename, remove or change the entries of lets them swap the
// installation folder for one of theirs.
bool openAbove(Platform& platform, const std::vector<std::string>& levels) {
    std::string folder = levels.front() + "\\";
    for (size_t index = 1; index < levels.size(); ++index) {
        if (platform.files.othersMayReplaceEntries(folder)) return true;
        folder += (index > 1 ? "\\" : "") + levels[index];
    }
    return false;
}

// Holds the drive's root; holdLevel then holds each level below it as the level itself shows
// it, so that a link anywhere above the installation folder, not only at its last level, is
// refused rather than followed.
std::unique_ptr<HeldFolders> holdRoot(Platform& platform, const std::vector<std::string>& levels) {
    return platform.files.holdRealFolder(levels.front() + "\\");
}

bool holdLevel(Platform& platform, HeldFolders& held, const std::string& folder) {
    if (held.holdNext(folder)) return true;
    platform.kernel.trace("folder behind a link(" + folder + ")");
    return false;
}

// The folder, every level of it held, gets the protected list unless it is closed already.
FolderGuard guardHeldFolder(Platform& platform, const std::vector<std::string>& levels,
                            const std::string& path) {
    // Below Program Files the folder inherits that protected list already.
    if (inProgramFiles(platform, levels)) return FolderGuard::Closed;
    FolderGuard guard = FolderGuard::Closed;
    if (platform.files.othersMayChange(path)) {
        if (!platform.files.protectFolder(path)) {
            platform.kernel.trace("folder not protected(" + path + ")");
            return FolderGuard::Failed;
        }
        guard = FolderGuard::Protected;
    }
    if (openAbove(platform, levels)) {
        platform.kernel.trace("folder open above(" + path + ")");
        return FolderGuard::Protected;
    }
    return guard;
}

}  // namespace

bool sameInstallationFolder(const std::string& a, const std::string& b) {
    return comparable(levelsOf(a)) == comparable(levelsOf(b));
}

FolderGuard protectInstallationFolder(Platform& platform, const std::string& path) {
    const auto levels = levelsOf(path);
    // A drive's root or a path whose levels step back is never given a list: it would reach
    // far more than an installation.
    if (levels.size() < 2 || hasDotLevels(levels)) {
        platform.kernel.trace("folder not protected(" + path + ")");
        return FolderGuard::Failed;
    }
    const auto held = holdRoot(platform, levels);
    if (!held) return FolderGuard::Failed;
    std::string current = levels.front();
    for (size_t index = 1; index < levels.size(); ++index) {
        current += "\\" + levels[index];
        if (!holdLevel(platform, *held, current)) return FolderGuard::Failed;
    }
    return guardHeldFolder(platform, levels, path);
}

bool createInstallationFolder(Platform& platform, const std::string& path, FolderGuard* guard,
                              FolderUse use) {
    FolderGuard found;
    if (!guard) guard = &found;
    *guard = FolderGuard::Failed;
    const auto levels = levelsOf(path);
    if (levels.size() < 2 || hasDotLevels(levels)) {
        platform.kernel.trace("folder not protected(" + path + ")");
        return false;
    }
    const auto held = holdRoot(platform, levels);
    if (!held) return false;
    // The first level made outside Program Files carries the protected list from its creation
    // on, and the levels below inherit it: no moment with the list it would inherit.
    const bool outside = !inProgramFiles(platform, levels);
    bool made = false;
    std::string current = levels.front();
    for (size_t index = 1; index < levels.size(); ++index) {
        // A new installation is not begun below a folder that others may swap it from: the
        // levels this run makes are its own, those found are checked before going below them.
        const std::string parent = index == 1 ? current + "\\" : current;
        if (use == FolderUse::New && outside && !made &&
            platform.files.othersMayReplaceEntries(parent)) {
            platform.kernel.trace("folder open above(" + path + ")");
            return false;
        }
        current += "\\" + levels[index];
        // A link in the installation folder's own place is removed; one above it is refused.
        const bool last = index + 1 == levels.size();
        if (last && platform.files.isLink(current) && !platform.files.removeLink(current))
            return false;
        if (!platform.files.isDirectory(current) && !platform.files.isLink(current)) {
            if (!(outside && !made ? platform.files.createProtectedDirectory(current)
                                   : platform.files.createDirectory(current)))
                return false;
            made = true;
        }
        if (!holdLevel(platform, *held, current)) return false;
    }
    *guard = guardHeldFolder(platform, levels, path);
    return *guard != FolderGuard::Failed;
}

}  // namespace vaultaide
