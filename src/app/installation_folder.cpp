#include "app/installation_folder.h"

#include "app/system_utils.h"
#include "platform/platform.h"

namespace vaultaide {

namespace {

// path is folder itself or lies below it, letter case ignored.
bool liesIn(const std::string& path, std::string folder) {
    const std::string lower = lowerAscii(path);
    folder = lowerAscii(folder);
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return !folder.empty() && lower.compare(0, folder.size(), folder) == 0 &&
           (lower.size() == folder.size() || lower[folder.size()] == '\\');
}

bool inProgramFiles(Platform& platform, const std::string& path) {
    std::string programFiles;
    return platform.shell.specialFolderPath(SpecialFolder::ProgramFiles, programFiles) &&
           liesIn(path, programFiles);
}

}  // namespace

FolderGuard protectInstallationFolder(Platform& platform, const std::string& path) {
    // Access lists are set through the name: a link there would carry them to its target.
    if (platform.files.isLink(path)) {
        platform.kernel.trace("folder not protected(" + path + ")");
        return FolderGuard::Failed;
    }
    // Below Program Files the folder inherits that protected list already.
    if (inProgramFiles(platform, path) || !platform.files.othersMayChange(path))
        return FolderGuard::Closed;
    if (platform.files.protectFolder(path)) return FolderGuard::Protected;
    platform.kernel.trace("folder not protected(" + path + ")");
    return FolderGuard::Failed;
}

bool createInstallationFolder(Platform& platform, const std::string& path) {
    if (path.empty()) return true;  // nothing to make; the folders' own checks follow
    const auto levels = splitDirectoryPath(path);
    std::string firstNew, current = levels.front();
    for (size_t i = 1; i < levels.size() && firstNew.empty(); ++i) {
        current += "\\" + levels[i];
        if (!platform.files.exists(current)) firstNew = current;
    }
    if (!createDirectoryTree(platform.files, path) || !ensureRealFolder(platform.files, path))
        return false;
    // The first level made here carries the list down to the installation folder.
    return protectInstallationFolder(platform, firstNew.empty() ? path : firstNew) !=
           FolderGuard::Failed;
}

}  // namespace vaultaide
