#pragma once
// Installing the staged files of an update or repair, all or nothing: only the files this run
// verified (and its two manifests) are installed, each from a handle nobody can write through
// after its digest was checked; a journal on disk names every target before the first one is
// touched, and every target is replaced by rename, its old file renamed into the backup
// folder, so the installation ends wholly old or wholly new, even when the run is killed.
#include <string>
#include <vector>

#include "app/installation_folder.h"

namespace vaultaide {

struct AppState;
class InstallJob;
struct Platform;
struct ReplacementJournal;
class RunControl;

constexpr const char* kReplaceFailedText = "更新失败，助手文件被占用，请关闭占用重新更新!";

// One file to install: below both the download folder and the installation folder, with the
// digest its content must have.
struct ReplacementFile {
    std::string relative;
    std::string digest;
};

// The run's verified files (each once, ignoring letter case, with the digest it was last
// verified against) and, when this run stored them in the download folder, its two manifests.
std::vector<ReplacementFile> replacementPlan(const InstallJob& job);

// Modes 1 and 2: installs the plan over the installation, with a journal (kept in journal as
// well) that stays until finishReplacement. When a file cannot be replaced (in use, changed since
// it was checked, a link where a folder must be), or the journal of an earlier run cannot be
// undone, every replaced file is put back, the message box is shown and the process ends (exit code
// 0); when the user ends the run meanwhile, the same without the message. An earlier run's
// journal is undone only when guard says the folder was closed to others; otherwise it and its
// backups are removed. Mode 0: true, nothing done.
bool replaceInstalledFiles(Platform& platform, const AppState& app, InstallJob& job,
                           RunControl& control, ReplacementJournal& journal, FolderGuard guard);
// After registration: the run has succeeded, so the journal and the backups go (true). A
// replacement is undone, with the registered version, and the process ends when registration
// failed or the journal cannot be removed (with the message), or the user ended the run just
// before (without it, or the dialog is ending it). Mode 0: false when registration failed.
bool finishReplacement(Platform& platform, const AppState& app, InstallJob& job,
                       RunControl& control, const ReplacementJournal& journal, bool registered);

}  // namespace vaultaide
