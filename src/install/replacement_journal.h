#pragma once
// The journal of a replacement, kept on disk in the download folder's backup folder. Before the
// first installed file is touched it names every target and whether a backup of it is kept, so
// that a run cut off at any point (killed, a power cut) is undone at the next start: the
// installation is then wholly the release it was, with that release's registered version.
#include <cstddef>
#include <string>
#include <vector>

#include "app/installation_folder.h"
#include "install/file_moves.h"

namespace vaultaide {

struct AppState;
class Files;
struct Platform;

// Inside the download folder; folders whose names begin with "." are neither installed nor
// emptied with it.
constexpr const char* kBackupFolderName = ".backup";
constexpr const char* kJournalName = "journal";
// Far more than any release's file list needs; a larger file is not a journal of this program.
constexpr size_t kMaxJournalBytes = 4u << 20;

struct ReplacementJournal {
    struct Target {
        std::string relative;  // below the installation folder: NAME or FOLDER\NAME
        bool existed;          // its old content is kept as backup number (index) in the folder
    };
    // What registration wrote before the run: the own key's "Version" and the uninstall
    // entry's "DisplayVersion" (empty when there was none).
    std::string version;
    std::string displayVersion;
    std::vector<Target> targets;
};

// installDir\DownLoad\.backup
std::string backupFolderOf(const std::string& installDir);
// The journal below the installation folder.
constexpr const char* kJournalRelative = "DownLoad\\.backup\\journal";
// The backup of target number index.
std::string backupPathOf(const std::string& backupFolder, size_t index);
// Target number index of the journal with its steps and their undo.
FileMove fileMoveOf(Platform& platform, const AppState& app, const std::string& installDir,
                    const ReplacementJournal& journal, size_t index);
// A version the journal can carry: what the registry's readers take back.
bool isJournalVersion(const std::string& version);

std::string journalText(const ReplacementJournal& journal);
// False for a text this program did not write whole: unknown lines, no end line, or a target
// that is not a plain name in the installation folder or one of its standard folders.
bool parseJournal(const std::string& text, ReplacementJournal& journal);

// Writes the journal under a temporary name, flushes it and renames it into place, so a crash
// leaves no journal or a complete one.
bool writeJournal(Files& files, const std::string& backupFolder, const ReplacementJournal& journal);
bool journalExists(Files& files, const std::string& backupFolder);
// False when there is no journal or it is not one this program wrote (that one is removed).
bool readJournal(Files& files, const std::string& backupFolder, ReplacementJournal& journal);

// Puts every target back as it was before the run (one that did not exist is removed, one whose
// backup was never made was never touched) and writes the old version back. True when all of
// it is back; the journal and backups are then no longer needed.
bool undoReplacement(Platform& platform, const AppState& app, const std::string& installDir,
                     const ReplacementJournal& journal);
// Deletes the journal and then the backups; false when the journal is still there.
bool dropJournal(Platform& platform, const AppState& app, const std::string& installDir,
                 const ReplacementJournal& journal);
// Undoes the replacement and then drops the journal and the backups; when the undo fails, they
// are kept for the next attempt and the trace says so. True when it was undone.
bool undoAndDropJournal(Platform& platform, const AppState& app, const std::string& installDir,
                        const ReplacementJournal& journal);
// Undoes the journal found in the backup folder, if any: true when none is left. A failed undo
// keeps the journal and its backups for the next attempt and says so in the trace.
bool undoUnfinishedReplacement(Platform& platform, const AppState& app,
                               const std::string& installDir);

// Before an update or repair replaces anything: an earlier run's journal is undone when the
// folder was closed to others (guard); one in a folder that others could change is removed with
// its backups, nothing undone by it. True when no journal is left.
bool settleUpdatersJournal(Platform& platform, const AppState& app, const std::string& installDir,
                           FolderGuard guard);

// A first installation into a folder holding a journal: the journal of the registered
// installation is undone when the folder was closed to others (guard); one in any other
// folder, or in one that others could change, describes nothing this machine knows, so it and
// its backups are removed without undoing anything. True when no journal is left.
bool settleJournalBeforeInstalling(Platform& platform, const AppState& app,
                                   const std::string& installDir, FolderGuard guard);

// At start, before the version check: the registered installation folder is protected when
// others may change it, then a replacement of it that was cut off is undone, the assistant's
// programs ended first so that their files can be put back.
void recoverInterruptedReplacement(Platform& platform, const AppState& app);

}  // namespace vaultaide
