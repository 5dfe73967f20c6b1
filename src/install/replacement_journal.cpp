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
// The registry values a start reads back are taken up to 260 bytes.
constexpr size_t kMaxVersionBytes = 260;

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

// Writes back what registration changed: the version the installation had.
void restoreVersion(Platform& platform, const AppState& app, const ReplacementJournal& journal) {
    if (!journal.version.empty())
        if (auto own = platform.registry.createKey(ownRegistryKeyPath(app), kKeyAllAccess))
            own->setString("Version", journal.version);
    if (!journal.displayVersion.empty())
        if (auto uninstall =
                platform.registry.createKey(kUninstallKeyBase + app.assistantName, kKeyAllAccess))
            uninstall->setString("DisplayVersion", journal.displayVersion);
}

// Copies the backup over target; the program's own file may be running, so it is moved
// aside first when it cannot be overwritten.
bool putBack(Platform& platform, const AppState& app, const std::string& installDir,
             const std::string& relative, const std::string& target, const std::string& backup) {
    const auto saved = platform.files.openLocked(backup);
    if (!saved) return false;
    if (platform.files.isLink(target)) platform.files.removeLink(target);
    if (saved->copyTo(target)) return true;
    if (relative != app.selfExeName) return false;
    renameOwnProgram(platform.files, installDir, app.selfExeName);
    return saved->copyTo(target);
}

bool removeAdded(Platform& platform, const AppState& app, const std::string& installDir,
                 const std::string& relative, const std::string& target) {
    if (platform.files.isLink(target)) return platform.files.removeLink(target);
    if (!platform.files.exists(target) || platform.files.deleteFile(target)) return true;
    if (relative != app.selfExeName) return false;
    renameOwnProgram(platform.files, installDir, app.selfExeName);
    return !platform.files.exists(target);
}

}  // namespace

std::string backupFolderOf(const std::string& installDir) {
    return installDir + "\\DownLoad\\" + kBackupFolderName;
}

std::string backupPathOf(const std::string& backupFolder, size_t index) {
    return backupFolder + "\\" + std::to_string(index);
}

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
        } else if ((tag == "version" || tag == "display") && value.size() >= kMaxVersionBytes) {
            return false;  // the registry's readers take at most that much
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
    return text.size() <= kMaxJournalBytes && files.writeFileDurably(temporary, text) &&
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
    if (file &&
        file->readAll(4096,
                      [&](const char* data, size_t size) {
                          tooLarge = tooLarge || text.size() + size > kMaxJournalBytes;
                          if (!tooLarge) text.append(data, size);
                      }) &&
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
    const std::string backupFolder = backupFolderOf(installDir);
    bool complete = true;
    for (size_t index = journal.targets.size(); index-- > 0;) {
        const auto& entry = journal.targets[index];
        const std::string target = installDir + "\\" + entry.relative;
        const std::string backup = backupPathOf(backupFolder, index);
        bool back = true;
        if (!entry.existed)
            back = removeAdded(platform, app, installDir, entry.relative, target);
        else if (platform.files.exists(backup))  // without a backup the target was not touched
            back = putBack(platform, app, installDir, entry.relative, target, backup);
        if (!back) platform.kernel.trace("restore failed(" + target + ")");
        complete = complete && back;
    }
    if (complete) restoreVersion(platform, app, journal);
    return complete;
}

void dropJournal(Files& files, const std::string& backupFolder, const ReplacementJournal& journal) {
    files.deleteFile(journalPathOf(backupFolder));
    for (size_t index = 0; index < journal.targets.size(); ++index) {
        const std::string backup = backupPathOf(backupFolder, index);
        if (files.exists(backup)) files.deleteFile(backup);
    }
}

bool undoAndDropJournal(Platform& platform, const AppState& app, const std::string& installDir,
                        const ReplacementJournal& journal) {
    const std::string backupFolder = backupFolderOf(installDir);
    if (!undoReplacement(platform, app, installDir, journal)) {
        platform.kernel.trace("replacement not undone, journal kept(" +
                              journalPathOf(backupFolder) + ")");
        return false;
    }
    dropJournal(platform.files, backupFolder, journal);
    return true;
}

bool undoUnfinishedReplacement(Platform& platform, const AppState& app,
                               const std::string& installDir) {
    const std::string backupFolder = backupFolderOf(installDir);
    ReplacementJournal journal;
    if (!readJournal(platform.files, backupFolder, journal))
        return !journalExists(platform.files, backupFolder);
    if (!undoAndDropJournal(platform, app, installDir, journal)) return false;
    platform.kernel.trace("replacement undone(" + installDir + ")");
    return true;
}

void recoverInterruptedReplacement(Platform& platform, const AppState& app) {
    std::string installDir;
    {
        auto key = platform.registry.openKey(ownRegistryKeyPath(app), kKeyRead);
        if (!key || !key->queryString("Path", installDir) || installDir.empty()) return;
    }
    const std::string downloadDir = installDir + "\\DownLoad";
    // A journal reached through a link is not this installation's.
    if (platform.files.isLink(installDir) || platform.files.isLink(downloadDir) ||
        !journalExists(platform.files, backupFolderOf(installDir)))
        return;
    terminateAndWait(platform.processes, app.mainExeName);
    terminateAndWait(platform.processes, "QuorlePop_" + hexTag(app.bankCode) + ".exe");
    terminateAndWait(platform.processes, "QuorlePop.exe");
    undoUnfinishedReplacement(platform, app, installDir);
}

}  // namespace vaultaide
