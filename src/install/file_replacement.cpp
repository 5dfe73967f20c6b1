#include "install/file_replacement.h"

#include "app/app_state.h"
#include "app/system_utils.h"
#include "app/version_check.h"
#include "packages/install_job.h"
#include "packages/package_download.h"
#include "platform/platform.h"

namespace vaultaide {

ReplacementJournal::ReplacementJournal(Files& files, std::string backupFolder)
    : files_(files), backupFolder_(std::move(backupFolder)) {}

bool ReplacementJournal::backUp(const std::string& target) {
    if (!files_.exists(target)) {
        changes_.push_back({target, ""});
        return true;
    }
    const std::string backup = backupFolder_ + "\\" + std::to_string(changes_.size());
    if (!files_.copyFile(target, backup, true)) return false;
    changes_.push_back({target, backup});
    return true;
}

void ReplacementJournal::restore() {
    for (auto change = changes_.rbegin(); change != changes_.rend(); ++change) {
        if (change->backup.empty())
            files_.deleteFile(change->target);
        else
            files_.copyFile(change->backup, change->target, true);
    }
    discard();
}

void ReplacementJournal::discard() {
    for (const auto& change : changes_)
        if (!change.backup.empty()) files_.deleteFile(change.backup);
    changes_.clear();
}

bool copyFolderTree(Platform& platform, const AppState& app, InstallJob& job,
                    const std::string& folder, ReplacementJournal& journal) {
    std::vector<Files::Entry> entries;
    if (!platform.files.listDirectory(folder, entries)) return false;
    // R: the part of folder below the download folder, empty for the download folder itself.
    const std::string relative = folder.substr(job.downloadDir.size());
    const std::string targetFolder = job.installDir + relative;
    for (const auto& entry : entries) {
        const std::string source = folder + "\\" + entry.name;
        if (entry.isDirectory) {
            if (entry.name[0] != '.' && !copyFolderTree(platform, app, job, source, journal))
                return false;
            continue;
        }
        const std::string target = targetFolder + "\\" + entry.name;
        if (!journal.backUp(target)) return false;
        if (entry.name == app.selfExeName)
            renameOwnProgram(platform.files, job.installDir, app.selfExeName);
        if (!platform.files.copyFile(source, target, true)) return false;
    }
    return true;
}

bool replaceInstalledFiles(Platform& platform, const AppState& app, InstallJob& job) {
    if (job.mode == kModeInstall) return true;
    // Without a download folder there is nothing to copy; the run goes on.
    if (!platform.files.isDirectory(job.downloadDir)) return false;
    const std::string backupFolder = job.downloadDir + "\\" + kBackupFolderName;
    createDirectoryTree(platform.files, backupFolder);
    emptyFolderTree(platform.files, backupFolder);  // copies an interrupted run left behind
    ReplacementJournal journal(platform.files, backupFolder);
    if (!copyFolderTree(platform, app, job, job.downloadDir, journal)) {
        journal.restore();
        platform.ui.messageBox(kReplaceFailedText, app.assistantName, kMbOk | kMbIconWarning);
        platform.kernel.exitOrderly(0);
    }
    journal.discard();
    job.manifests.clear();
    return true;
}

}  // namespace vaultaide
