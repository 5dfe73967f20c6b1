// The server's request-head reader: the input is what a client sends, taken in the pieces the
// first byte chooses, as reads would deliver it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "server/request_head.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vaultaide::tools;
    if (size == 0) return 0;
    const size_t piece = 1 + data[0] % 16;
    const std::string sent(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string buffer;
    size_t searched = 0, length = 0;
    for (size_t at = 0; at < sent.size() && length == 0; at += piece) {
        buffer += sent.substr(at, piece);
        if (const size_t empty = leadingEmptyLines(buffer)) {
            buffer.erase(0, empty);
            searched = 0;
        }
        length = requestHeadLength(buffer, searched);
        // Searching in pieces finds the blank line where one search of the whole finds it.
        if (length != requestHeadLength(buffer)) std::abort();
    }
    if (length == 0) return 0;
    const Screening screening = screenRequestHead(std::string_view(buffer).substr(0, length));
    if (screening.status != 0) {
        if (screening.status < 400 || screening.status > 431 || screening.reason.empty())
            std::abort();
        return 0;
    }
    // What passes is a GET or HEAD of a path, with a Host that cannot end a line.
    if ((screening.method != "GET" && screening.method != "HEAD") || screening.path.empty() ||
        screening.path[0] != '/' || screening.host.find_first_of("\r\n") != std::string::npos)
        std::abort();
    return 0;
}
