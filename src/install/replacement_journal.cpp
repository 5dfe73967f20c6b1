#include "install/replacement_journal.h"

#include <sstream>

#include "app/app_state.h"
#include "app/bank_profile.h"
#include "app/system_utils.h"
#include "app/version_check.h"
#include "base/gbk_text.h"
#include "install/registration.h"
#include "packages/entry_names.h"
#include "packages/package_download.h"
#include "platform/platform.h"
#include "protocol/crypto.h"

namespace vaultaide {

namespace {

constexpr const char* kJournalHeader = "vaultaide replacement journal 1";
constexpr const char* kJournalEnd = "end";
constexpr const char* kPartSuffix = ".part";

// Fields are written in hexadecimal: versions come from the server and may hold anything.
bool strictHexDecode(const std::string& text, std::string& bytes) {
    return hexDecode(text, bytes) && hexEncode(bytes) == text;
}

// NAME or FOLDER\NAME with a standard folder: the only files a replacement writes.
bool isReplaceableTarget(const std::string& relative) {
    const size_t slash = findBackslash(relative);
    if (slash == std::string::npos) return isSafeEntry("", relative);
    const std::string folder = relative.substr(0, slash);
    bool standard = false;
    for (const char* name : kStandardFolders)
        standard = standard || lowerAscii(folder) == lowerAscii(name);
    return standard && isSafeEntry(folder, relative.substr(slash + 1));
}

std::string journalPathOf(const std::string& backupFolder) {
    return backupFolder + "\\" + kJournalName;
}

// Writes back what registration changed, the version the installation had, and flushes it.
bool restoreVersion(Platform& platform, const AppState& app, const ReplacementJournal& journal) {
    const auto restore = [&](const std::string& key, const char* name, const std::string& value) {
        if (value.empty()) return true;
        auto opened = platform.registry.createKey(key, kKeyAllAccess);
        return opened && opened->setString(name, value) && opened->flush();
    };
    const bool own = restore(ownRegistryKeyPath(app), "Version", journal.version);
    return restore(kUninstallKeyBase + app.assistantName, "DisplayVersion",
                   journal.displayVersion) &&
           own;
}

std::string backupRelativeOf(size_t index) {
    return std::string("DownLoad\\") + kBackupFolderName + "\\" + std::to_string(index);
}

}  // namespace

std::string backupFolderOf(const std::string& installDir) {
    return installDir + "\\DownLoad\\" + kBackupFolderName;
}

std::string backupPathOf(const std::string& backupFolder, size_t index) {
    return backupFolder + "\\" + std::to_string(index);
}

FileMove fileMoveOf(Platform& platform, const AppState& app, const std::string& installDir,
                    const ReplacementJournal& journal, size_t index) {
    const auto& target = journal.targets[index];
    return FileMove(platform, app, installDir, target.relative, backupRelativeOf(index),
                    target.existed);
}

bool isJournalVersion(const std::string& version) { return version.size() <= kRegistryValueBytes; }

std::string journalText(const ReplacementJournal& journal) {
    std::string text = std::string(kJournalHeader) + "\r\n";
    text += "version " + hexEncode(journal.version) + "\r\n";
    text += "display " + hexEncode(journal.displayVersion) + "\r\n";
    for (const auto& target : journal.targets)
        text +=
            std::string(target.existed ? "kept " : "added ") + hexEncode(target.relative) + "\r\n";
    return text + kJournalEnd + "\r\n";
}

bool parseJournal(const std::string& text, ReplacementJournal& journal) {
    journal = ReplacementJournal();
    std::istringstream lines(text);
    std::string line;
    if (!std::getline(lines, line) || line != std::string(kJournalHeader) + "\r") return false;
    bool ended = false;
    while (!ended && std::getline(lines, line)) {
        if (line.empty() || line.back() != '\r') return false;
        line.pop_back();
        const size_t space = line.find(' ');
        const std::string tag = line.substr(0, space);
        std::string value;
        if (tag == kJournalEnd && space == std::string::npos) {
            ended = true;
        } else if (space == std::string::npos || !strictHexDecode(line.substr(space + 1), value)) {
            return false;
        } else if ((tag == "version" || tag == "display") && !isJournalVersion(value)) {
            return false;
        } else if (tag == "version") {
            journal.version = value;
        } else if (tag == "display") {
            journal.displayVersion = value;
        } else if ((tag == "kept" || tag == "added") && isReplaceableTarget(value)) {
            journal.targets.push_back({value, tag == "kept"});
        } else {
            return false;
        }
    }
    return ended && !std::getline(lines, line);
}

bool writeJournal(Files& files, const std::string& backupFolder,
                  const ReplacementJournal& journal) {
    const std::string path = journalPathOf(backupFolder);
    const std::string temporary = path + kPartSuffix;
    const std::string text = journalText(journal);
    // The next start refuses a larger one and would undo nothing.
    return text.size() <= kMaxJournalBytes && isJournalVersion(journal.version) &&
           isJournalVersion(journal.displayVersion) && files.writeFileDurably(temporary, text) &&
           files.moveFile(temporary, path, true);
}

bool journalExists(Files& files, const std::string& backupFolder) {
    return files.exists(journalPathOf(backupFolder));
}

bool readJournal(Files& files, const std::string& backupFolder, ReplacementJournal& journal) {
    const std::string path = journalPathOf(backupFolder);
    if (files.isLink(backupFolder) || !files.exists(path)) return false;
    auto file = files.openLocked(path);
    if (!file && !files.isLink(path)) return false;  // held elsewhere: it stays for later
    std::string text;
    bool tooLarge = false;
    // Read by name while the held handle keeps it from being written or renamed, so the read
    // stops at the cap.
    if (file &&
        files.readChunks(
            path, 4096,
            [&](const char* data, size_t size) {
                tooLarge = tooLarge || text.size() + size > kMaxJournalBytes;
                if (!tooLarge) text.append(data, size);
            },
            kMaxJournalBytes) &&
        !tooLarge && parseJournal(text, journal))
        return true;
    // Every journal of this program is written whole and renamed into place: this one is not
    // ours, and nothing is undone after it.
    file.reset();
    if (files.isLink(path))
        files.removeLink(path);
    else
        files.deleteFile(path);
    return false;
}

bool undoReplacement(Platform& platform, const AppState& app, const std::string& installDir,
                     const ReplacementJournal& journal) {
    bool complete = true;
    for (size_t index = journal.targets.size(); index-- > 0;) {
        FileMove move = fileMoveOf(platform, app, installDir, journal, index);
        const bool back = move.undo();
        if (!back) platform.kernel.trace("restore failed(" + move.target() + ")");
        complete = complete && back;
    }
    return complete && restoreVersion(platform, app, journal);
}

bool dropJournal(Platform& platform, const AppState& app, const std::string& installDir,
                 const ReplacementJournal& journal) {
    const std::string path = journalPathOf(backupFolderOf(installDir));
    if (const auto held = reachThroughRealFolders(platform.files, installDir, kJournalRelative))
        platform.files.deleteFile(path);
    if (platform.files.exists(path)) return false;
    for (size_t index = 0; index < journal.targets.size(); ++index)
        fileMoveOf(platform, app, installDir, journal, index).dropBackup();
    return true;
}

bool undoAndDropJournal(Platform& platform, const AppState& app, const std::string& installDir,
                        const ReplacementJournal& journal) {
    if (!undoReplacement(platform, app, installDir, journal)) {
        platform.kernel.trace("replacement not undone, journal kept(" +
                              journalPathOf(backupFolderOf(installDir)) + ")");
        return false;
    }
    // A journal that stays is undone again at the next start, which changes nothing now.
    dropJournal(platform, app, installDir, journal);
    return true;
}

bool undoUnfinishedReplacement(Platform& platform, const AppState& app,
                               const std::string& installDir) {
    const std::string backupFolder = backupFolderOf(installDir);
    // The journal is read through real folders held for the whole undo; one that cannot be
    // reached so is kept for a later attempt.
    const auto held = reachThroughRealFolders(platform.files, installDir, kJournalRelative);
    if (!held) return !journalExists(platform.files, backupFolder);
    ReplacementJournal journal;
    if (!readJournal(platform.files, backupFolder, journal))
        return !journalExists(platform.files, backupFolder);
    if (!undoAndDropJournal(platform, app, installDir, journal)) return false;
    platform.kernel.trace("replacement undone(" + installDir + ")");
    return true;
}

namespace {

// Removes the journal and its backups, nothing undone by them; true when none is left.
bool discardJournal(Platform& platform, const AppState& app, const std::string& installDir) {
    const std::string backupFolder = backupFolderOf(installDir);
    ReplacementJournal journal;
    if (readJournal(platform.files, backupFolder, journal))
        dropJournal(platform, app, installDir, journal);
    return !journalExists(platform.files, backupFolder);
}

}  // namespace

bool settleUpdatersJournal(Platform& platform, const AppState& app, const std::string& installDir,
                           FolderGuard guard) {
    if (guard == FolderGuard::Closed) return undoUnfinishedReplacement(platform, app, installDir);
    const std::string backupFolder = backupFolderOf(installDir);
    const auto held = reachThroughRealFolders(platform.files, installDir, kJournalRelative);
    if (!held || !journalExists(platform.files, backupFolder))
        return !journalExists(platform.files, backupFolder);
    // Any user could have written this journal and its backups: nothing is undone by them.
    platform.kernel.trace("journal of an open folder discarded(" + installDir + ")");
    return discardJournal(platform, app, installDir);
}

bool settleJournalBeforeInstalling(Platform& platform, const AppState& app,
                                   const std::string& installDir, FolderGuard guard) {
    const std::string backupFolder = backupFolderOf(installDir);
    const auto held = reachThroughRealFolders(platform.files, installDir, kJournalRelative);
    if (!held || !journalExists(platform.files, backupFolder))
        return !journalExists(platform.files, backupFolder);
    const std::string registered = registeredInstallation(platform, app);
    if (guard == FolderGuard::Closed && !registered.empty() &&
        sameInstallationFolder(registered, installDir))
        return undoUnfinishedReplacement(platform, app, installDir);
    return discardJournal(platform, app, installDir);
}

void recoverInterruptedReplacement(Platform& platform, const AppState& app) {
    const std::string installDir = registeredInstallation(platform, app);
    if (installDir.empty() || !platform.files.isDirectory(installDir)) return;
    const FolderGuard guard = protectInstallationFolder(platform, installDir);
    // A journal reached through a link is not this installation's.
    if (guard == FolderGuard::Failed) return;
    if (guard == FolderGuard::Closed) {
        const auto held = reachThroughRealFolders(platform.files, installDir, kJournalRelative);
        if (!held || !journalExists(platform.files, backupFolderOf(installDir))) return;
        terminateAndWait(platform.processes, app.mainExeName);
        terminateAndWait(platform.processes, "QuorlePop_" + hexTag(app.bankCode) + ".exe");
        terminateAndWait(platform.processes, "QuorlePop.exe");
    }
    settleUpdatersJournal(platform, app, installDir, guard);
}

}  // namespace vaultaide
