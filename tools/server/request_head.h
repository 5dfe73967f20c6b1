#pragma once
// The first look at a request, before any parser sees it: what this server takes is a GET or
// HEAD without a body, with a bounded number of headers and at most one byte range.
#include <cstddef>
#include <string>

namespace vaultaide::tools {

constexpr size_t kMaxHeaderFields = 64;

// The length of the head at the start of buffer, up to and with its blank line; 0 while the
// blank line has not arrived.
size_t requestHeadLength(const std::string& buffer);

struct Screening {
    int status = 0;      // 0: pass it on; otherwise answer with this status and close
    std::string reason;  // what the log line says about a refusal
    std::string method;  // as far as the request line could be read
    std::string target;
    std::string version;
    bool exchange = false;  // the version endpoint rather than a file
};

// head: a whole request head as requestHeadLength measured it.
Screening screenRequestHead(const std::string& head);

}  // namespace vaultaide::tools
