#include "install/install_sequence.h"

#include <memory>

#include "app/app_state.h"
#include "app/system_utils.h"
#include "app/version_check.h"
#include "install/file_replacement.h"
#include "install/legacy_removal.h"
#include "install/registration.h"
#include "install/replacement_journal.h"
#include "install/run_control.h"
#include "install/runtimes.h"
#include "install/shortcuts.h"
#include "install/update_handoff.h"
#include "packages/install_job.h"
#include "packages/package_download.h"
#include "packages/signed_manifests.h"
#include "platform/platform.h"
#include "protocol/built_in_keys.h"
#include "ui/progress_reporter.h"

namespace vaultaide {

namespace {

constexpr uint32_t kBeforeLaunchMs = 1000;
constexpr uint32_t kBetweenStartsMs = 500;

// Starts a program of the installation first with "-t", then plainly, as the user who is
// logged on; a missing file is passed over.
void startTwice(Platform& platform, const std::string& program) {
    if (!platform.files.exists(program)) return;
    platform.processes.startForUser(program, "-t", WindowShow::Shown);
    platform.kernel.sleepMs(kBetweenStartsMs);
    platform.processes.startForUser(program, "", WindowShow::Shown);
}

// Ends the process.
void launchAssistant(Platform& platform, const AppState& app, ProgressEvents& progress) {
    progress.status("完成安装,准备启动助手");
    platform.kernel.sleepMs(kBeforeLaunchMs);
    startTwice(platform, app.installPath + "\\QuorlePop.exe");
    startTwice(platform, app.installPath + "\\" + app.mainExeName);
    platform.kernel.exitProcess(0);
}

enum class Outcome { Stopped, EndedByUser };

// Every step up to the final launch; what the dialog shows and holds is released before the
// caller tells the dialog that the worker has stopped.
Outcome runSteps(InstallRun& run) {
    Platform& platform = run.platform;
    AppState& app = run.app;
    std::unique_ptr<InstallJob> job(run.job);
    run.job = nullptr;
    ProgressReporter progress(run.view);

    run.workerFinished = 0;
    if (job->mode == kModeInstall) removeLegacyAssistant(platform, app, progress);
    // The folder the run installs in, as it is used: a new one others could swap from above is
    // refused, the registered one is kept in use and told as it was found.
    const bool known =
        sameInstallationFolder(registeredInstallation(platform, app), job->installDir);
    const FolderUse use =
        job->mode == kModeInstall && !known ? FolderUse::New : FolderUse::Existing;
    FolderGuard guard = FolderGuard::Failed;
    if (!createInstallationFolder(platform, job->installDir, &guard, use)) return Outcome::Stopped;
    if (job->mode == kModeInstall &&
        !settleJournalBeforeInstalling(platform, app, job->installDir, guard))
        return Outcome::Stopped;
    createStandardFolders(platform, *job);
    // Updates and repairs install only what this run fetches and verifies: nothing an earlier
    // run left in the download folder (its backups aside) may be taken for it.
    if (job->mode != kModeInstall && (platform.files.isLink(job->downloadDir) ||
                                      !emptyFolderTree(platform.files, job->downloadDir)))
        return Outcome::Stopped;
    if (!fetchSignedManifests(platform, *job, builtInManifestPublicKey())) return Outcome::Stopped;

    int32_t needX86 = 0, needX64 = 0;
    checkRuntimes(platform, needX86, needX64);
    const int bankEntries =
        countManifestEntries(platform.files, platform.text, *job, kBankManifest);
    const int commonEntries =
        countManifestEntries(platform.files, platform.text, *job, kCommonManifest);
    job->unitsTotal = bankEntries + commonEntries + needX86 + needX64;
    progress.unitsCounted(job->unitsTotal);
    installRuntimes(platform, app, *job, needX86, needX64);

    if (!downloadPackages(platform, *job, kCommonManifest, app)) return Outcome::Stopped;
    if (!downloadPackages(platform, *job, kBankManifest, app)) return Outcome::Stopped;
    if (!stopAssistant(platform, app, *job)) return Outcome::Stopped;

    if (job->mode != kModeInstall && !run.control.beginReplacement()) return Outcome::EndedByUser;
    ReplacementJournal journal;
    replaceInstalledFiles(platform, app, *job, run.control, journal, guard);
    emptyFolderTree(platform.files, job->downloadDir);
    const bool registered = registerInstallation(platform, app, *job);
    if (!finishReplacement(platform, app, *job, run.control, journal, registered))
        return registered ? Outcome::EndedByUser : Outcome::Stopped;
    const int mode = job->mode;
    job.reset();

    run.workerFinished = 1;
    progress.finished();
    if (mode != kModeRepair) {
        const auto com = platform.shell.initializeCom();
        createShortcuts(platform, app, progress);
    }
    launchAssistant(platform, app, progress);
    return Outcome::Stopped;
}

}  // namespace

uint32_t runInstallSequence(InstallRun& run) {
    // A stopped run leaves the dialog as the failing step left it; nothing is undone.
    if (runSteps(run) == Outcome::Stopped) {
        run.workerFinished = 1;
        run.control.stop();
    }
    return 0;
}

}  // namespace vaultaide
