#include "install/file_replacement.h"

#include <set>

#include "app/app_state.h"
#include "app/system_utils.h"
#include "app/version_check.h"
#include "install/file_moves.h"
#include "install/registration.h"
#include "install/replacement_journal.h"
#include "install/run_control.h"
#include "packages/file_digest.h"
#include "packages/install_job.h"
#include "packages/package_download.h"
#include "platform/platform.h"

namespace vaultaide {

namespace {

std::string registeredValue(Platform& platform, const std::string& key, const std::string& name) {
    std::string value;
    if (auto opened = platform.registry.openKey(key, kKeyRead)) opened->queryString(name, value);
    return value;
}

// Real folders only: the download folder and its backup folder, and every folder a target
// lies in (a link there would take the new file wherever it points).
bool prepareFolders(Platform& platform, const InstallJob& job) {
    if (platform.files.isLink(job.installDir) || platform.files.isLink(job.downloadDir) ||
        !ensureRealFolder(platform.files, backupFolderOf(job.installDir)))
        return false;
    for (const char* folder : kStandardFolders)
        if (platform.files.isLink(job.downloadDir + "\\" + folder) ||
            !ensureRealFolder(platform.files, job.installDir + "\\" + folder))
            return false;
    return true;
}

// Installs the source over the target from the locked handle whose content was just checked:
// staged beside it, the old file renamed into the backup, the staged one renamed into place.
bool replaceOne(Platform& platform, const AppState& app, const InstallJob& job,
                const ReplacementFile& file, const ReplacementJournal& journal, size_t index) {
    const auto source = platform.files.openLocked(job.downloadDir + "\\" + file.relative);
    std::string digest;
    if (!source || !lockedDigest(*source, digest) || digest != file.digest) {
        platform.kernel.trace("changed since it was checked(" + file.relative + ")");
        return false;
    }
    FileMove move = fileMoveOf(platform, app, job.installDir, journal, index);
    return move.stage(*source) && move.backUp() && move.place();
}

// Puts the installation back as the journal says and ends the process; a failed restore keeps
// the journal for the next start.
void undoAndEnd(Platform& platform, const AppState& app, const InstallJob& job,
                const ReplacementJournal& journal, bool tellUser) {
    undoAndDropJournal(platform, app, job.installDir, journal);
    if (!tellUser) platform.kernel.exitProcess(0);  // as Cancel ends a run
    platform.ui.messageBox(kReplaceFailedText, app.assistantName, kMbOk | kMbIconWarning);
    platform.kernel.exitOrderly(0);
}

}  // namespace

std::vector<ReplacementFile> replacementPlan(const InstallJob& job) {
    std::vector<ReplacementFile> plan;
    std::set<std::string> seen;
    for (auto verified = job.verifiedFiles.rbegin(); verified != job.verifiedFiles.rend();
         ++verified)
        if (seen.insert(lowerAscii(verified->relative)).second)
            plan.push_back({verified->relative, verified->digest});
    std::vector<ReplacementFile> ordered(plan.rbegin(), plan.rend());
    if (job.manifestsInDownloadFolder)
        for (int set : {kCommonManifest, kBankManifest}) {
            const std::string& path = job.manifestDownloadPathOf(set);
            ordered.push_back(
                {path.substr(job.downloadDir.size() + 1), job.manifestDigest[set - 1]});
        }
    return ordered;
}

bool replaceInstalledFiles(Platform& platform, const AppState& app, InstallJob& job,
                           RunControl& control, ReplacementJournal& journal, FolderGuard guard) {
    if (job.mode == kModeInstall) return true;
    const auto fail = [&](bool tellUser) { undoAndEnd(platform, app, job, journal, tellUser); };
    // An earlier run's replacement that could not be undone keeps its backups: nothing may
    // overwrite them.
    if (!prepareFolders(platform, job) ||
        !settleUpdatersJournal(platform, app, job.installDir, guard)) {
        platform.ui.messageBox(kReplaceFailedText, app.assistantName, kMbOk | kMbIconWarning);
        platform.kernel.exitOrderly(0);
    }

    const std::string backupFolder = backupFolderOf(job.installDir);
    // An undone update may have put the program back under its name while its stepped-aside
    // copy kept the old one: then both name the running program, which can be renamed but not
    // deleted, and nothing could step aside again. The old name goes with the backups.
    const std::string aside = job.installDir + "\\" + kOwnProgramAside;
    if (platform.files.exists(aside))
        platform.files.moveFile(aside, backupFolder + "\\" + kOwnProgramAside, true);
    emptyFolderTree(platform.files, backupFolder);  // backups no journal names any more
    const std::vector<ReplacementFile> plan = replacementPlan(job);
    // A backup that could not be removed (held open elsewhere) would be taken for this run's
    // at the next start and put over a file this run never touched.
    for (size_t index = 0; index < plan.size(); ++index) {
        const std::string backup = backupPathOf(backupFolder, index);
        if (platform.files.exists(backup) || platform.files.isLink(backup)) {
            platform.ui.messageBox(kReplaceFailedText, app.assistantName, kMbOk | kMbIconWarning);
            platform.kernel.exitOrderly(0);
        }
    }
    journal.version = registeredValue(platform, ownRegistryKeyPath(app), "Version");
    journal.displayVersion =
        registeredValue(platform, kUninstallKeyBase + app.assistantName, "DisplayVersion");
    for (const auto& file : plan) {
        const std::string target = job.installDir + "\\" + file.relative;
        journal.targets.push_back(
            {file.relative, platform.files.exists(target) && !platform.files.isLink(target)});
    }
    const auto held = reachThroughRealFolders(platform.files, job.installDir, kJournalRelative);
    if (!held || !writeJournal(platform.files, backupFolder, journal)) fail(true);

    for (size_t index = 0; index < plan.size(); ++index) {
        if (!replaceOne(platform, app, job, plan[index], journal, index)) fail(true);
        if (control.undoRequested()) fail(false);
    }
    job.manifests.clear();
    return true;
}

bool finishReplacement(Platform& platform, const AppState& app, InstallJob& job,
                       RunControl& control, const ReplacementJournal& journal, bool registered) {
    const bool journaled = job.mode != kModeInstall;
    if (!registered) {
        platform.kernel.trace("registration failed(" + job.installDir + ")");
        if (journaled) undoAndEnd(platform, app, job, journal, true);
        return false;
    }
    if (control.succeed()) {
        if (!journaled || dropJournal(platform, app, job.installDir, journal)) return true;
        // A journal left behind would undo this update at the next start.
        undoAndEnd(platform, app, job, journal, true);
    }
    if (journaled) undoAndEnd(platform, app, job, journal, false);
    if (control.undoRequested()) platform.kernel.exitProcess(0);
    return false;
}

}  // namespace vaultaide
