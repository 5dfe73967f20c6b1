#pragma once
// The one way this program moves an installed file into place and back. Every file is reached
// through real folders below the installation folder, held as checked for the whole step; new
// content is written under a staging name in the target's own folder, flushed, and renamed over
// the target; an old file kept for the undo gets a second name in the backup folder (or goes
// there by rename where the file system keeps one name per file) and comes back by rename, so
// the target's name never stands empty. Nothing is written through an existing file: a link at a
// target (hard or symbolic) is replaced, never followed, and a kill leaves whole files only.
#include <memory>
#include <string>

namespace vaultaide {

struct AppState;
class Files;
class HeldFolders;
class LockedFile;
struct Platform;

// The program's own file moved aside when a running copy keeps it from being replaced.
constexpr const char* kOwnProgramAside = "vaultaide_old.exe";
// Appended to a target's name while its new content is written.
constexpr const char* kStagingSuffix = ".vaultaide~";
// Appended to a backup's name for the old file that stepped aside for the new one.
constexpr const char* kAsideSuffix = ".aside";

// Holds every folder from installDir down to the one holding relative (NAME or
// FOLDER\...\NAME), each a real folder: a link in the way is removed, never followed, and a
// folder made in its place, each level below one already held. While the result lives, a path
// through them reaches what was checked. Null when installDir itself is a link or a level cannot
// be made real.
std::unique_ptr<HeldFolders> reachThroughRealFolders(Files& files, const std::string& installDir,
                                                     const std::string& relative);

// One target and its undo. Steps: stage (the new content under the staging name), backUp (the
// old file, when one is kept, linked into the backup), place (the staged file renamed over the
// target). undo() judges from what is on disk which steps were done, so it also serves a run
// that was killed at any point of them.
class FileMove {
public:
    FileMove(Platform& platform, const AppState& app, std::string installDir, std::string relative,
             std::string backupRelative, bool keepsOld);

    bool stage(LockedFile& source);
    bool backUp();
    bool place();
    // Puts the target back as it was before stage; true when it is.
    bool undo();
    // After success: the backup goes.
    bool dropBackup();

    const std::string& target() const { return target_; }

private:
    std::unique_ptr<HeldFolders> reach(const std::string& relative);
    // Renames from over to. A file that cannot be replaced or deleted but can be renamed (a
    // running program or a mapped library, a file another process holds with delete sharing)
    // steps aside first: the program's own file to its old name beside it, any other into the
    // backup folder.
    bool moveOver(const std::string& from, const std::string& to);
    bool removeTarget();
    std::string asideName() const;
    bool stepAside(const std::string& path);

    Platform& platform_;
    const AppState& app_;
    std::string installDir_, relative_, backupRelative_;
    std::string target_, staging_, backup_;
    bool keepsOld_;
};

}  // namespace vaultaide
