#pragma once
// The release trees under --root, served as they are on disk: a request path is taken as
// the bytes of the file's name (the program sends GBK names percent-encoded).
#include <sys/types.h>

#include <cstdint>
#include <string>

namespace vaultaide::tools {

// An open regular file below root (non-blocking), or fd -1. Empty segments ("//") are
// skipped; "." and ".." and NUL bytes are refused; no link is followed on the way; anything
// but a regular file is refused without being opened.
struct ServedFile {
    int fd = -1;
    uint64_t size = 0;
    int error = 0;  // the errno of an open that failed (EMFILE: no descriptor left)
};
ServedFile openServedFile(int rootFd, const std::string& decodedPath);

// One byte range (first or last -1 where the request leaves it open) against a file of size
// bytes: false when it cannot be satisfied.
bool resolveRange(long long first, long long last, uint64_t size, uint64_t& offset,
                  uint64_t& length);

}  // namespace vaultaide::tools
