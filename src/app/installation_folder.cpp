#include "app/installation_folder.h"

#include <string>
#include <vector>

#include "app/system_utils.h"
#include "base/gbk_text.h"
#include "platform/platform.h"

namespace vaultaide {

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

}  // namespace

bool sameInstallationFolder(const std::string& a, const std::string& b) {
    return comparable(levelsOf(a)) == comparable(levelsOf(b));
}

FolderGuard protectInstallationFolder(Platform& platform, const std::string& path) {
    const auto levels = levelsOf(path);
    // A drive's root or a path whose levels step back is never given a list: it would reach
    // far more than an installation. Access lists are set through the name: a link there would
    // carry them to its target.
    if (levels.size() < 2 || hasDotLevels(levels) || platform.files.isLink(path)) {
        platform.kernel.trace("folder not protected(" + path + ")");
        return FolderGuard::Failed;
    }
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

bool createInstallationFolder(Platform& platform, const std::string& path, FolderGuard* guard) {
    FolderGuard found;
    if (!guard) guard = &found;
    *guard = path.empty() ? FolderGuard::Closed : FolderGuard::Failed;
    if (path.empty()) return true;  // nothing to make; the folders' own checks follow
    const auto levels = levelsOf(path);
    if (levels.size() < 2 || hasDotLevels(levels)) {
        platform.kernel.trace("folder not protected(" + path + ")");
        return false;
    }
    // The first level made outside Program Files carries the protected list from its creation
    // on, and the levels below inherit it: no moment with the list it would inherit.
    bool protectNext = !inProgramFiles(platform, levels);
    std::string current = levels.front();
    for (size_t index = 1; index < levels.size(); ++index) {
        current += "\\" + levels[index];
        if (platform.files.isDirectory(current)) continue;
        if (!(protectNext ? platform.files.createProtectedDirectory(current)
                          : platform.files.createDirectory(current)))
            return false;
        protectNext = false;
    }
    *guard = ensureRealFolder(platform.files, path) ? protectInstallationFolder(platform, path)
                                                    : FolderGuard::Failed;
    return *guard != FolderGuard::Failed;
}

}  // namespace vaultaide
