#pragma once
// Copying the staged files of an update or repair over the installation, all or nothing: every
// file is backed up before it is overwritten, and when one cannot be replaced the replaced ones
// are restored before the user is told, so the installation stays wholly old or becomes wholly
// new.
#include <string>
#include <vector>

namespace vaultaide {

struct AppState;
class Files;
class InstallJob;
struct Platform;

constexpr const char* kReplaceFailedText = "更新失败，助手文件被占用，请关闭占用重新更新!";
// Inside the download folder; folders whose names begin with "." are neither copied nor emptied.
constexpr const char* kBackupFolderName = ".backup";

// What a replacement changed so far, so that it can be undone.
class ReplacementJournal {
public:
    ReplacementJournal(Files& files, std::string backupFolder);
    // Keeps a copy of target, if it exists, before it is overwritten; false when the copy
    // could not be made (the target must then stay as it is).
    bool backUp(const std::string& target);
    // Puts every recorded file back as it was (a file that did not exist is removed again),
    // newest first, then drops the copies.
    void restore();
    // Drops the copies after a complete replacement.
    void discard();

private:
    struct Change {
        std::string target;
        std::string backup;  // empty: the target did not exist before
    };
    Files& files_;
    std::string backupFolder_;
    std::vector<Change> changes_;
};

// Modes 1 and 2: copies the download folder over the installation and then drops the run's
// cached manifests, which the copy has replaced. When a file cannot be replaced (or a folder
// of the download folder cannot be listed), restores the files replaced so far, shows the
// message box and ends the process (exit code 0). False when there is no download folder.
// Mode 0: true without doing anything.
bool replaceInstalledFiles(Platform& platform, const AppState& app, InstallJob& job);
// Copies folder (the download folder or one below it) over the installation, recording each
// change; false when a folder cannot be listed or a file cannot be replaced.
bool copyFolderTree(Platform& platform, const AppState& app, InstallJob& job,
                    const std::string& folder, ReplacementJournal& journal);

}  // namespace vaultaide
