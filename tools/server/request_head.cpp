#include "request_head.h"

#include <strings.h>

#include <vector>

namespace vaultaide::tools {

namespace {

bool isTokenChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           std::string("!#$%&'*+-.^_`|~").find(c) != std::string::npos;
}

bool isToken(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!isTokenChar(c)) return false;
    return true;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool allDigits(const std::string& text, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

// "bytes=FIRST-LAST", "bytes=FIRST-" or "bytes=-SUFFIX" with numbers of at most 18 digits.
bool isSingleRange(const std::string& value) {
    if (value.compare(0, 6, "bytes=") != 0) return false;
    const auto dash = value.find('-', 6);
    if (dash == std::string::npos) return false;
    const size_t first = dash - 6, last = value.size() - dash - 1;
    return first + last > 0 && first <= 18 && last <= 18 && allDigits(value, 6, dash) &&
           allDigits(value, dash + 1, value.size());
}

Screening refused(Screening screening, int status, const std::string& reason) {
    screening.status = status;
    screening.reason = reason;
    return screening;
}

}  // namespace

size_t requestHeadLength(const std::string& buffer) {
    const auto end = buffer.find("\r\n\r\n");
    return end == std::string::npos ? 0 : end + 4;
}

Screening screenRequestHead(const std::string& head) {
    Screening screening;
    std::vector<std::string> lines;
    for (size_t at = 0; at + 2 < head.size();) {
        const auto end = head.find("\r\n", at);
        lines.push_back(head.substr(at, end - at));
        at = end + 2;
    }
    const std::string line = lines.empty() ? "" : lines[0];
    const auto space1 = line.find(' ');
    const auto space2 = space1 == std::string::npos ? space1 : line.find(' ', space1 + 1);
    screening.method = line.substr(0, space1);
    if (space2 != std::string::npos) {
        screening.target = line.substr(space1 + 1, space2 - space1 - 1);
        screening.version = line.substr(space2 + 1);
    }
    if (space2 == std::string::npos || !isToken(screening.method) || screening.target.empty() ||
        screening.target[0] != '/' ||
        (screening.version != "HTTP/1.0" && screening.version != "HTTP/1.1"))
        return refused(screening, 400, "malformed request line");
    for (unsigned char c : screening.target)
        if (c <= 0x20 || c == 0x7F) return refused(screening, 400, "malformed request line");
    if (screening.method != "GET" && screening.method != "HEAD")
        return refused(screening, 405, "method not allowed");
    if (lines.size() - 1 > kMaxHeaderFields)
        return refused(screening, 431, "more than 64 header fields");

    int ranges = 0;
    for (size_t i = 1; i < lines.size(); ++i) {
        // A lone CR or LF would end the line for a parser that splits at LF.
        for (unsigned char c : lines[i])
            if ((c < 0x20 && c != '\t') || c == 0x7F)
                return refused(screening, 400, "control character in a header field");
        const auto colon = lines[i].find(':');
        if (colon == std::string::npos || !isToken(lines[i].substr(0, colon)))
            return refused(screening, 400, "malformed header field");
        const std::string name = lines[i].substr(0, colon);
        const std::string value = trimmed(lines[i].substr(colon + 1));
        if (strcasecmp(name.c_str(), "Transfer-Encoding") == 0 ||
            (strcasecmp(name.c_str(), "Content-Length") == 0 && value != "0"))
            return refused(screening, 413, "a request body");
        if (strcasecmp(name.c_str(), "Range") == 0 && (++ranges > 1 || !isSingleRange(value)))
            return refused(screening, 416, "more than one range, or a malformed one");
    }
    const std::string path = screening.target.substr(0, screening.target.find('?'));
    screening.exchange = path == "/assist/server";
    return screening;
}

}  // namespace vaultaide::tools
