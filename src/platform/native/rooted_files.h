#pragma once
// Real files under a folder that stands for the machine's drives: "C:\A\b.txt" lives at
// ROOT/C/A/b.txt, and relative names resolve against a Windows current directory. Files marked
// in use behave as a running program's file: they can be read and renamed, not overwritten or
// deleted.
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
    bool readFile(const std::string& path, std::string& bytes) override;
    bool readChunks(const std::string& path, size_t chunkSize,
                    const std::function<void(const char*, size_t)>& piece) override;
    bool writeFile(const std::string& path, const std::string& bytes) override;
    bool deleteFile(const std::string& path) override;
    bool moveFile(const std::string& from, const std::string& to, bool replaceExisting) override;
    bool copyFile(const std::string& from, const std::string& to, bool overwrite) override;
    // C:\Temp\, which the machine's set-up creates.
    std::string tempFolder() override { return "C:\\Temp\\"; }
    // A new folder C:\Windows\Temp\vaultaide-N\ that only the owner may use.
    bool createPrivateFolder(std::string& path) override;
    bool listDirectory(const std::string& path, std::vector<Entry>& entries) override;

private:
    bool inUse(const std::string& path) const { return inUse_.count(hostPath(path)) > 0; }

    std::string root_;
    std::string currentDirectory_;
    std::set<std::string> inUse_;  // host paths
};

}  // namespace vaultaide
