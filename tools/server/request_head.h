#pragma once
// The first and only look at a request: what this server takes is a GET or HEAD without a
// body, with a bounded number of headers and at most one byte range. The fields the answer
// needs are read here, so nothing parses the head twice.
#include <cstddef>
#include <string>
#include <string_view>

namespace vaultaide::tools {

constexpr size_t kMaxHeaderFields = 64;
constexpr size_t kMaxTargetBytes = 8192;

// The length of the head at the start of buffer, up to and with its blank line; 0 while the
// blank line has not arrived.
size_t requestHeadLength(const std::string& buffer);
// The same for a buffer that grows between calls: searched is where the last search stopped
// (0 for a new head), so each byte is looked at about once however the head is cut up.
size_t requestHeadLength(const std::string& buffer, size_t& searched);
// The empty lines a client may send before a request line: how many bytes of them start buffer.
size_t leadingEmptyLines(const std::string& buffer);

struct Screening {
    int status = 0;      // 0: pass it on; otherwise answer with this status and close
    std::string reason;  // what the log line says about a refusal
    std::string method;  // as far as the request line could be read
    std::string target;
    std::string version;
    // Of a request that passed:
    std::string path;            // the target's path, percent-decoded: what is routed and served
    std::string data;            // the query's "data" value, percent-decoded
    std::string host;            // the Host header, or the authority of an absolute target
    std::string forwardedProto;  // X-Forwarded-Proto
    bool hasRange = false;
    long long rangeFirst = -1, rangeLast = -1;  // -1 where the range leaves it open
    bool keepAlive = false;  // the client keeps the connection for another request
    bool exchange = false;   // the version endpoint rather than a file
};

// head: a whole request head as requestHeadLength measured it.
Screening screenRequestHead(std::string_view head);

}  // namespace vaultaide::tools
