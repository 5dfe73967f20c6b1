#pragma once
// Files holding one file in memory, for the readers that take their input from disk.
#include <algorithm>
#include <string>

#include "platform/files.h"

namespace vaultaide::fuzz {

class MemoryFile : public Files {
public:
    MemoryFile(std::string path, std::string bytes)
        : path_(std::move(path)), bytes_(std::move(bytes)) {}

    bool isDirectory(const std::string&) override { return false; }
    bool exists(const std::string& path) override { return path == path_; }
    bool createDirectory(const std::string&) override { return false; }
    bool createProtectedDirectory(const std::string&) override { return false; }
    bool readFile(const std::string& path, std::string& bytes) override {
        if (path != path_) return false;
        bytes = bytes_;
        return true;
    }
    bool readChunks(const std::string& path, size_t chunkSize,
                    const std::function<void(const char*, size_t)>& piece, size_t limit) override {
        if (path != path_) return false;
        for (size_t at = 0; at < bytes_.size() && at <= limit; at += chunkSize)
            piece(bytes_.data() + at, std::min(chunkSize, bytes_.size() - at));
        return true;
    }
    bool writeFile(const std::string&, const std::string&) override { return false; }
    bool deleteFile(const std::string&) override { return false; }
    bool moveFile(const std::string&, const std::string&, bool) override { return false; }
    bool linkFile(const std::string&, const std::string&) override { return false; }
    bool copyFile(const std::string&, const std::string&, bool) override { return false; }
    bool writeFileDurably(const std::string&, const std::string&) override { return false; }
    bool isLink(const std::string&) override { return false; }
    bool removeLink(const std::string&) override { return false; }
    // Nothing else writes memory: the one file is as good as locked.
    std::unique_ptr<LockedFile> openLocked(const std::string& path) override {
        if (path != path_) return nullptr;
        return std::make_unique<Held>(bytes_);
    }
    bool protectFolder(const std::string&) override { return false; }
    bool othersMayChange(const std::string&) override { return true; }
    bool othersMayReplaceEntries(const std::string&) override { return true; }
    std::unique_ptr<HeldFolders> holdRealFolder(const std::string&) override { return nullptr; }
    std::string tempFolder() override { return "C:\\Temp\\"; }
    bool createPrivateFolder(std::string&) override { return false; }
    bool listDirectory(const std::string&, std::vector<Entry>&) override { return false; }

private:
    class Held : public LockedFile {
    public:
        explicit Held(const std::string& bytes) : bytes_(bytes) {}
        bool readAll(size_t chunkSize,
                     const std::function<void(const char*, size_t)>& piece) override {
            for (size_t at = 0; at < bytes_.size(); at += chunkSize)
                piece(bytes_.data() + at, std::min(chunkSize, bytes_.size() - at));
            return true;
        }
        bool copyTo(const std::string&) override { return false; }

    private:
        const std::string& bytes_;
    };

    std::string path_;
    std::string bytes_;
};

}  // namespace vaultaide::fuzz
