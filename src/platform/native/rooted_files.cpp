#include "platform/native/rooted_files.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>

namespace vaultaide {

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

bool RootedFiles::readFile(const std::string& path, std::string& bytes) {
    std::ifstream in(hostPath(path), std::ios::binary);
    if (!in || isDirectory(path)) return false;
    std::ostringstream content;
    content << in.rdbuf();
    bytes = content.str();
    return true;
}

}  // namespace vaultaide
