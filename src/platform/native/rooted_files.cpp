#include "platform/native/rooted_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include <cstdio>

#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

namespace vaultaide {

// An open descriptor of a regular file; its host path stays in the locked set while it lives.
class RootedFiles::Locked : public LockedFile {
public:
    Locked(RootedFiles& files, int descriptor, std::string hostPath)
        : files_(files),
          locked_(files.locked_),
          descriptor_(descriptor),
          hostPath_(std::move(hostPath)) {
        locked_->insert(hostPath_);
    }
    ~Locked() override {
        locked_->erase(locked_->find(hostPath_));
        close(descriptor_);
    }

    bool readAll(size_t chunkSize, const std::function<void(const char*, size_t)>& piece) override {
        if (lseek(descriptor_, 0, SEEK_SET) != 0) return false;
        std::string buffer(chunkSize, '\0');
        for (;;) {
            const ssize_t got = read(descriptor_, buffer.data(), chunkSize);
            if (got < 0) return false;
            if (got == 0) return true;
            piece(buffer.data(), static_cast<size_t>(got));
        }
    }

    bool copyTo(const std::string& target) override {
        const int created =
            open(files_.hostPath(target).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0644);
        if (created < 0) return false;
        std::FILE* out = fdopen(created, "wb");
        if (!out) return close(created), false;
        bool written = readAll(65536, [&](const char* data, size_t size) {
            if (std::fwrite(data, 1, size, out) != size) written = false;
        });
        written = std::fflush(out) == 0 && fsync(fileno(out)) == 0 && written;
        return std::fclose(out) == 0 && written;
    }

private:
    RootedFiles& files_;
    std::shared_ptr<std::multiset<std::string>> locked_;
    int descriptor_;
    std::string hostPath_;
};

// Descriptors of real folders, opened without following a link at their last level.
class RootedFiles::Held : public HeldFolders {
public:
    explicit Held(RootedFiles& files) : files_(files), held_(files.held_) {}
    ~Held() override {
        for (const auto& [descriptor, host] : levels_) {
            held_->erase(held_->find(host));
            close(descriptor);
        }
    }

    bool holdNext(const std::string& folder) override {
        const std::string host = files_.hostPath(folder);
        const int descriptor = open(host.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        if (descriptor < 0) return false;
        levels_.emplace_back(descriptor, host);
        held_->insert(host);
        return true;
    }

private:
    RootedFiles& files_;
    std::shared_ptr<std::multiset<std::string>> held_;
    std::vector<std::pair<int, std::string>> levels_;
};

RootedFiles::RootedFiles(std::string root, std::string currentDirectory)
    : root_(std::move(root)), currentDirectory_(std::move(currentDirectory)) {}

std::string RootedFiles::hostPath(const std::string& windowsPath) const {
    const bool absolute = windowsPath.size() >= 2 && windowsPath[1] == ':';
    std::string full = absolute ? windowsPath : currentDirectory_ + "\\" + windowsPath;
    std::string host = root_ + "/" + full.substr(0, 1);
    for (char c : full.substr(2)) host += c == '\\' ? '/' : c;
    return host;
}

bool RootedFiles::isDirectory(const std::string& path) {
    struct stat info;
    return stat(hostPath(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool RootedFiles::exists(const std::string& path) {
    struct stat info;
    return stat(hostPath(path).c_str(), &info) == 0;
}

bool RootedFiles::createDirectory(const std::string& path) {
    return mkdir(hostPath(path).c_str(), 0755) == 0;
}

bool RootedFiles::createProtectedDirectory(const std::string& path) {
    if (!createDirectory(path)) return false;
    protected_.insert(hostPath(path));
    return true;
}

bool RootedFiles::othersMayReplaceEntries(const std::string& path) {
    std::string host = hostPath(path);
    while (host.size() > 1 && host.back() == '/') host.pop_back();
    struct stat info;
    return openAbove_.count(host) > 0 || openAbove_.count(host + "/") > 0 ||
           (lstat(host.c_str(), &info) == 0 && S_ISLNK(info.st_mode));
}

std::unique_ptr<HeldFolders> RootedFiles::holdRealFolder(const std::string& path) {
    auto held = std::make_unique<Held>(*this);
    if (!held->holdNext(path)) return nullptr;
    return held;
}

bool RootedFiles::holdsBelow(const std::string& path) const {
    const std::string host = hostPath(path);
    for (const auto& folder : *held_)
        if (folder.compare(0, host.size(), host) == 0 &&
            (folder.size() == host.size() || folder[host.size()] == '/'))
            return true;
    return false;
}

bool RootedFiles::createPrivateFolder(std::string& path) {
    const std::string parent = "C:\\Windows\\Temp";
    if (!isDirectory("C:\\Windows")) createDirectory("C:\\Windows");
    if (!isDirectory(parent) && !createDirectory(parent)) return false;
    for (int n = 0; n < 64; ++n) {
        path = parent + "\\vaultaide-" + std::to_string(n);
        if (mkdir(hostPath(path).c_str(), 0700) == 0) {
            path += "\\";
            return true;
        }
    }
    return false;
}

bool RootedFiles::readFile(const std::string& path, std::string& bytes) {
    std::ifstream in(hostPath(path), std::ios::binary);
    if (!in || isDirectory(path)) return false;
    std::ostringstream content;
    content << in.rdbuf();
    bytes = content.str();
    return true;
}

bool RootedFiles::readChunks(const std::string& path, size_t chunkSize,
                             const std::function<void(const char*, size_t)>& piece, size_t limit) {
    if (isDirectory(path)) return false;
    std::FILE* file = std::fopen(hostPath(path).c_str(), "rb");
    if (!file) return false;
    std::string buffer(chunkSize, '\0');
    size_t got, passed = 0;
    while (passed <= limit && (got = std::fread(buffer.data(), 1, chunkSize, file)) > 0) {
        piece(buffer.data(), got);
        passed += got;
    }
    std::fclose(file);
    return true;
}

bool RootedFiles::writeFile(const std::string& path, const std::string& bytes) {
    if (unwritable(path)) return false;
    std::ofstream out(hostPath(path), std::ios::binary | std::ios::trunc);
    return out && out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush();
}

bool RootedFiles::deleteFile(const std::string& path) {
    return !isDirectory(path) && !unwritable(path) && unlink(hostPath(path).c_str()) == 0;
}

bool RootedFiles::moveFile(const std::string& from, const std::string& to, bool replaceExisting) {
    if (!exists(from) || (!replaceExisting && exists(to)) || unwritable(to) ||
        locked_->count(hostPath(from)) || holdsBelow(from) || holdsBelow(to))
        return false;
    if (std::rename(hostPath(from).c_str(), hostPath(to).c_str()) != 0) return false;
    // The program keeps running from its file under the new name.
    if (inUse_.erase(hostPath(from))) inUse_.insert(hostPath(to));
    return true;
}

bool RootedFiles::linkFile(const std::string& existing, const std::string& link) {
    if (isLink(existing) || isDirectory(existing) || unwritable(link)) return false;
    return ::link(hostPath(existing).c_str(), hostPath(link).c_str()) == 0;
}

bool RootedFiles::copyFile(const std::string& from, const std::string& to, bool overwrite) {
    std::string bytes;
    if (!readFile(from, bytes) || isDirectory(to) || (!overwrite && exists(to))) return false;
    return writeFile(to, bytes);
}

bool RootedFiles::writeFileDurably(const std::string& path, const std::string& bytes) {
    // A file or link already there loses its name; its content is never written through.
    if (unwritable(path) || (unlink(hostPath(path).c_str()) != 0 && errno != ENOENT) ||
        !writeFile(path, bytes))
        return false;
    const int descriptor = open(hostPath(path).c_str(), O_RDONLY);
    const bool synced = descriptor >= 0 && fsync(descriptor) == 0;
    if (descriptor >= 0) close(descriptor);
    return synced;
}

bool RootedFiles::isLink(const std::string& path) {
    struct stat info;
    return lstat(hostPath(path).c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool RootedFiles::removeLink(const std::string& path) {
    return isLink(path) && !holdsBelow(path) && unlink(hostPath(path).c_str()) == 0;
}

std::unique_ptr<LockedFile> RootedFiles::openLocked(const std::string& path) {
    const std::string host = hostPath(path);
    const int descriptor = open(host.c_str(), O_RDONLY | O_NOFOLLOW);
    if (descriptor < 0) return nullptr;
    struct stat info;
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(descriptor);
        return nullptr;
    }
    return std::make_unique<Locked>(*this, descriptor, host);
}

bool RootedFiles::protectFolder(const std::string& path) {
    if (!isDirectory(path) || isLink(path)) return false;
    protected_.insert(hostPath(path));
    return true;
}

bool RootedFiles::othersMayChange(const std::string& path) {
    for (std::string host = hostPath(path); host.size() > root_.size();
         host = host.substr(0, host.rfind('/')))
        if (protected_.count(host)) return false;
    return true;
}

bool RootedFiles::listDirectory(const std::string& path, std::vector<Entry>& entries) {
    DIR* dir = opendir(hostPath(path).c_str());
    if (!dir) return false;
    entries.clear();
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat info;
        const bool link =
            lstat(hostPath(path + "\\" + name).c_str(), &info) == 0 && S_ISLNK(info.st_mode);
        entries.push_back({name, isDirectory(path + "\\" + name), link});
    }
    closedir(dir);
    return true;
}

}  // namespace vaultaide
