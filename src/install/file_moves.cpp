#include "install/file_moves.h"

#include "app/app_state.h"
#include "app/system_utils.h"
#include "base/gbk_text.h"
#include "platform/platform.h"

namespace vaultaide {

std::unique_ptr<HeldFolders> reachThroughRealFolders(Files& files, const std::string& installDir,
                                                     const std::string& relative) {
    auto held = files.holdRealFolder(installDir);
    if (!held) return nullptr;
    std::string folder = installDir;
    for (size_t start = 0, slash; (slash = findBackslash(relative, start)) != std::string::npos;
         start = slash + 1) {
        folder += "\\" + relative.substr(start, slash - start);
        // The path check and repair go through levels already held; the hold then confirms
        // the level on the folder it opens.
        if (!ensureRealFolder(files, folder) || !held->holdNext(folder)) return nullptr;
    }
    return held;
}

FileMove::FileMove(Platform& platform, const AppState& app, std::string installDir,
                   std::string relative, std::string backupRelative, bool keepsOld)
    : platform_(platform),
      app_(app),
      installDir_(std::move(installDir)),
      relative_(std::move(relative)),
      backupRelative_(std::move(backupRelative)),
      target_(installDir_ + "\\" + relative_),
      staging_(target_ + kStagingSuffix),
      backup_(installDir_ + "\\" + backupRelative_),
      keepsOld_(keepsOld) {}

std::unique_ptr<HeldFolders> FileMove::reach(const std::string& relative) {
    return reachThroughRealFolders(platform_.files, installDir_, relative);
}

bool FileMove::stage(LockedFile& source) {
    Files& files = platform_.files;
    const auto held = reach(relative_);
    if (!held) return false;
    // Whatever holds the staging name is an earlier run's leftover: it goes, never written
    // through.
    if (files.isLink(staging_) ? !files.removeLink(staging_)
                               : files.exists(staging_) && !files.deleteFile(staging_))
        return false;
    return source.copyTo(staging_);
}

bool FileMove::backUp() {
    if (!keepsOld_) return true;
    const auto target = reach(relative_), backup = reach(backupRelative_);
    if (!target || !backup) return false;
    // A second name keeps the old file under the target's name too, so place() swaps old for
    // new in one rename; a file system without such names gets the backup by rename.
    return platform_.files.linkFile(target_, backup_) ||
           platform_.files.moveFile(target_, backup_, false);
}

bool FileMove::place() { return moveOver(staging_, target_); }

bool FileMove::moveOver(const std::string& from, const std::string& to) {
    Files& files = platform_.files;
    const auto target = reach(relative_), backup = reach(backupRelative_);
    if (!target || !backup) return false;
    if (files.moveFile(from, to, true)) return true;
    return files.exists(to) && stepAside(to) && files.moveFile(from, to, true);
}

bool FileMove::removeTarget() {
    Files& files = platform_.files;
    const auto target = reach(relative_);
    if (!target) return false;
    if (files.isLink(target_)) return files.removeLink(target_);
    if (!files.exists(target_) || files.deleteFile(target_)) return true;
    const auto backup = reach(backupRelative_);
    return backup && stepAside(target_);
}

std::string FileMove::asideName() const {
    return lowerAscii(relative_) == lowerAscii(app_.selfExeName)
               ? installDir_ + "\\" + kOwnProgramAside
               : backup_ + kAsideSuffix;
}

bool FileMove::stepAside(const std::string& path) {
    Files& files = platform_.files;
    const std::string aside = asideName();
    if (files.exists(aside)) files.deleteFile(aside);
    return files.moveFile(path, aside, false);
}

bool FileMove::undo() {
    Files& files = platform_.files;
    bool back = true;
    if (files.isLink(staging_) || files.exists(staging_)) {
        const auto target = reach(relative_);
        back = target &&
               (files.isLink(staging_) ? files.removeLink(staging_) : files.deleteFile(staging_));
    }
    if (!keepsOld_) return removeTarget() && back;
    // A kept file is never a link, so a link in the backup's place is not this program's.
    if (files.isLink(backup_)) {
        const auto backup = reach(backupRelative_);
        return backup && files.removeLink(backup_) && back;
    }
    // Without a backup the target was never moved.
    if (files.exists(backup_) && !moveOver(backup_, target_)) return false;
    return back;
}

bool FileMove::dropBackup() {
    Files& files = platform_.files;
    const auto backup = reach(backupRelative_);
    if (!backup) return false;
    // An old file still held where it stepped aside goes with the next replacement's clean-up.
    if (files.exists(backup_ + kAsideSuffix)) files.deleteFile(backup_ + kAsideSuffix);
    return !files.exists(backup_) || files.deleteFile(backup_);
}

}  // namespace vaultaide
