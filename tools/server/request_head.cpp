#include "request_head.h"

#include <strings.h>

#include <algorithm>
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

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Whether a comma-separated header value names token, in any case.
bool listsToken(const std::string& value, const char* token) {
    size_t at = 0;
    while (at <= value.size()) {
        const auto comma = std::min(value.find(',', at), value.size());
        if (strcasecmp(trimmed(value.substr(at, comma - at)).c_str(), token) == 0) return true;
        at = comma + 1;
    }
    return false;
}

// The query's "data" value; false for a malformed escape in it.
bool readQuery(const std::string& query, std::string& data) {
    size_t at = 0;
    while (at < query.size()) {
        const auto amp = std::min(query.find('&', at), query.size());
        if (query.compare(at, 5, "data=") == 0 && at + 5 <= amp)
            return percentDecode(query.substr(at + 5, amp - at - 5), data);
        at = amp + 1;
    }
    return true;
}

}  // namespace

bool percentDecode(const std::string& text, std::string& decoded) {
    decoded.clear();
    decoded.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            decoded += text[i];
            continue;
        }
        const int high = i + 2 < text.size() ? hexValue(text[i + 1]) : -1;
        const int low = high >= 0 ? hexValue(text[i + 2]) : -1;
        if (low < 0) return false;
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

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
    if (screening.target.size() > kMaxTargetBytes)
        return refused(screening, 414,
                       "request target over " + std::to_string(kMaxTargetBytes) + " bytes");
    if (screening.method != "GET" && screening.method != "HEAD")
        return refused(screening, 405, "method not allowed");
    if (lines.size() - 1 > kMaxHeaderFields)
        return refused(screening, 431, "more than 64 header fields");

    int ranges = 0;
    bool rangeFault = false;
    std::string connection;
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
        if (strcasecmp(name.c_str(), "Range") == 0) {
            if (++ranges > 1 || !isSingleRange(value)) {
                rangeFault = true;
                continue;
            }
            const auto dash = value.find('-');
            screening.hasRange = true;
            if (dash > 6) screening.rangeFirst = std::stoll(value.substr(6, dash - 6));
            if (dash + 1 < value.size()) screening.rangeLast = std::stoll(value.substr(dash + 1));
        } else if (strcasecmp(name.c_str(), "Host") == 0) {
            screening.host = value;
        } else if (strcasecmp(name.c_str(), "X-Forwarded-Proto") == 0) {
            screening.forwardedProto = value;
        } else if (strcasecmp(name.c_str(), "Connection") == 0) {
            connection += value + ",";
        }
    }
    const auto question = screening.target.find('?');
    if (!percentDecode(screening.target.substr(0, question), screening.path) ||
        (question != std::string::npos &&
         !readQuery(screening.target.substr(question + 1), screening.data)))
        return refused(screening, 400, "malformed escape in the request target");
    screening.keepAlive = screening.version == "HTTP/1.1" ? !listsToken(connection, "close")
                                                          : listsToken(connection, "keep-alive");
    // Routed by the path the endpoint answers, so no spelling of it reaches the file side.
    screening.exchange = screening.path == "/assist/server";
    // The endpoint's answer is only ever sent whole, whatever range is asked for.
    if (screening.exchange) screening.hasRange = false;
    if (rangeFault && !screening.exchange)
        return refused(screening, 416, "more than one range, or a malformed one");
    return screening;
}

}  // namespace vaultaide::tools
