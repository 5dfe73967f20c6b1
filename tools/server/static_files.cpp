#include "static_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vaultaide::tools {

ServedFile openServedFile(int rootFd, const std::string& decodedPath) {
    ServedFile served;
    if (decodedPath.empty() || decodedPath[0] != '/' || decodedPath.find('\0') != std::string::npos)
        return served;
    int dir = fcntl(rootFd, F_DUPFD_CLOEXEC, 0);
    if (dir < 0) served.error = errno;
    size_t at = 1;
    while (dir >= 0) {
        const auto slash = decodedPath.find('/', at);
        const std::string segment = decodedPath.substr(at, slash - at);
        const bool last = slash == std::string::npos;
        at = last ? decodedPath.size() : slash + 1;
        if (segment.empty() && !last) continue;
        if (segment.empty() || segment == "." || segment == "..") break;
        struct stat info;
        // Only a regular file is opened at all (a device's open may act, a FIFO's would wait);
        // non-blocking in case the name was swapped since, and checked again once open.
        if (last && (fstatat(dir, segment.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
                     !S_ISREG(info.st_mode)))
            break;
        const int next =
            openat(dir, segment.c_str(),
                   O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | (last ? 0 : O_DIRECTORY));
        if (next < 0) served.error = errno;
        close(dir);
        dir = next;
        if (!last) continue;
        if (dir >= 0 && fstat(dir, &info) == 0 && S_ISREG(info.st_mode)) {
            served.fd = dir;
            served.size = static_cast<uint64_t>(info.st_size);
            return served;
        }
        break;
    }
    if (dir >= 0) close(dir);
    return served;
}

bool resolveRange(long long first, long long last, uint64_t size, uint64_t& offset,
                  uint64_t& length) {
    if (first < 0 && last < 0) return false;
    if (first < 0) {  // the last "last" bytes
        if (last == 0 || size == 0) return false;
        length = static_cast<uint64_t>(last) < size ? static_cast<uint64_t>(last) : size;
        offset = size - length;
        return true;
    }
    if (static_cast<uint64_t>(first) >= size || (last >= 0 && last < first)) return false;
    offset = static_cast<uint64_t>(first);
    const uint64_t end =
        last < 0 || static_cast<uint64_t>(last) >= size ? size - 1 : static_cast<uint64_t>(last);
    length = end - offset + 1;
    return true;
}

}  // namespace vaultaide::tools
