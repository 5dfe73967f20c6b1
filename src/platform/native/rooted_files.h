#pragma once
// Real files under a folder that stands for the machine's drives: "C:\A\b.txt" lives at
// ROOT/C/A/b.txt, and relative names resolve against a Windows current directory. Files marked
// in use behave as a running program's file: they can be read and renamed, not overwritten or
// deleted. A locked file (openLocked) can be read only, as Windows keeps it while a handle that
// shares it with readers only is open. Folders protected by protectFolder are recorded. A held
// folder (holdRealFolder) cannot be renamed, nor can one above it, as on Windows.
#include <memory>
#include <set>
#include <string>

#include "platform/files.h"

namespace vaultaide {

class RootedFiles : public Files {
public:
    explicit RootedFiles(std::string root, std::string currentDirectory = "C:\\");

    // The host path that stands for a Windows path.
    std::string hostPath(const std::string& windowsPath) const;
    void setCurrentDirectory(std::string windowsPath) {
        currentDirectory_ = std::move(windowsPath);
    }
    void markInUse(const std::string& windowsPath) { inUse_.insert(hostPath(windowsPath)); }

    bool isDirectory(const std::string& path) override;
    bool exists(const std::string& path) override;
    bool createDirectory(const std::string& path) override;
    bool createProtectedDirectory(const std::string& path) override;
    bool readFile(const std::string& path, std::string& bytes) override;
    bool readChunks(const std::string& path, size_t chunkSize,
                    const std::function<void(const char*, size_t)>& piece, size_t limit) override;
    bool writeFile(const std::string& path, const std::string& bytes) override;
    bool deleteFile(const std::string& path) override;
    bool moveFile(const std::string& from, const std::string& to, bool replaceExisting) override;
    bool linkFile(const std::string& existing, const std::string& link) override;
    bool copyFile(const std::string& from, const std::string& to, bool overwrite) override;
    bool writeFileDurably(const std::string& path, const std::string& bytes) override;
    bool isLink(const std::string& path) override;
    bool removeLink(const std::string& path) override;
    std::unique_ptr<LockedFile> openLocked(const std::string& path) override;
    bool protectFolder(const std::string& path) override;
    bool isProtected(const std::string& path) const { return protected_.count(hostPath(path)); }
    // The folder's list is opened to users again, as a standard user's own folder's is.
    void openToUsers(const std::string& path) { protected_.erase(hostPath(path)); }
    // Unless the folder or one above it was protected: every folder starts open to users.
    bool othersMayChange(const std::string& path) override;
    // Folders above an installation are closed unless a test opens one; a link counts as open,
    // as its own list tells nothing of what it names.
    bool othersMayReplaceEntries(const std::string& path) override;
    void letUsersReplaceEntries(const std::string& path) { openAbove_.insert(hostPath(path)); }
    std::unique_ptr<HeldFolders> holdRealFolder(const std::string& path) override;
    // C:\Temp\, which the machine's set-up creates.
    std::string tempFolder() override { return "C:\\Temp\\"; }
    // A new folder C:\Windows\Temp\vaultaide-N\ that only the owner may use.
    bool createPrivateFolder(std::string& path) override;
    bool listDirectory(const std::string& path, std::vector<Entry>& entries) override;

private:
    class Locked;
    class Held;
    // A held folder lies at or below the path.
    bool holdsBelow(const std::string& path) const;
    bool inUse(const std::string& path) const { return inUse_.count(hostPath(path)) > 0; }
    // In use or locked: the file cannot be written, renamed or deleted.
    bool unwritable(const std::string& path) const {
        return inUse(path) || locked_->count(hostPath(path)) > 0;
    }

    std::string root_;
    std::string currentDirectory_;
    std::set<std::string> inUse_;  // host paths
    // Host paths of open locked files; shared with them, as they may outlive this object.
    std::shared_ptr<std::multiset<std::string>> locked_ =
        std::make_shared<std::multiset<std::string>>();
    std::set<std::string> protected_;  // host paths
    std::set<std::string> openAbove_;  // host paths
    // Host paths of held folders, shared with the holds.
    std::shared_ptr<std::multiset<std::string>> held_ =
        std::make_shared<std::multiset<std::string>>();
};

}  // namespace vaultaide
