#include "protocol/server_endpoint.h"

#include "platform/files.h"

namespace vaultaide {

DownloadPath g_downloadpath;

std::vector<std::string> splitTextLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    while (start < bytes.size()) {
        auto lf = bytes.find('\n', start);
        if (lf == std::string::npos) {
            lines.push_back(bytes.substr(start));
            break;
        }
        auto end = lf;
        if (end > start && bytes[end - 1] == '\r') --end;
        lines.push_back(bytes.substr(start, end - start));
        start = lf + 1;
    }
    return lines;
}

bool loadServerEndpoint(Files& files, DownloadPath& endpoint) {
    // Three short lines: a larger file is no endpoint and is never held in memory.
    std::string bytes;
    bool tooLarge = false;
    const bool read = files.readChunks(
        kServerIpFileName, 4096,
        [&](const char* data, size_t size) {
            tooLarge = tooLarge || bytes.size() + size > kMaxServerIpBytes;
            if (!tooLarge) bytes.append(data, size);
        },
        kMaxServerIpBytes);
    if (!read || tooLarge) {
        endpoint.path = kDefaultRequestPath;
        endpoint.port.clear();
        return true;
    }
    auto lines = splitTextLines(bytes);
    if (lines.size() < 3) return false;
    endpoint.ip = lines[0];
    endpoint.port = lines[1];
    endpoint.path = lines[2];
    return true;
}

}  // namespace vaultaide
