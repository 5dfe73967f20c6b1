#include "request_head.h"

#include <strings.h>

#include <cstring>

namespace vaultaide::tools {

namespace {

// The head is read in place, as views into it: it is parsed for every request.
using View = std::string_view;

bool isTokenChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           (c != '\0' && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr);
}

bool isToken(View text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!isTokenChar(c)) return false;
    return true;
}

View trimmed(View text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == View::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool named(View name, const char* expected) {
    return name.size() == std::strlen(expected) &&
           strncasecmp(name.data(), expected, name.size()) == 0;
}

bool allDigits(View text) {
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

// "bytes=FIRST-LAST", "bytes=FIRST-" or "bytes=-SUFFIX" with numbers of at most 18 digits.
bool isSingleRange(View value, long long& first, long long& last) {
    if (value.substr(0, 6) != "bytes=") return false;
    const auto dash = value.find('-', 6);
    if (dash == View::npos) return false;
    const View from = value.substr(6, dash - 6), to = value.substr(dash + 1);
    if (from.size() + to.size() == 0 || from.size() > 18 || to.size() > 18 || !allDigits(from) ||
        !allDigits(to))
        return false;
    first = from.empty() ? -1 : std::stoll(std::string(from));
    last = to.empty() ? -1 : std::stoll(std::string(to));
    return true;
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

bool decode(View text, std::string& decoded) {
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

// Whether a comma-separated header value names token, in any case.
bool listsToken(View value, const char* token) {
    while (!value.empty()) {
        const auto comma = value.find(',');
        if (named(trimmed(value.substr(0, comma)), token)) return true;
        if (comma == View::npos) break;
        value.remove_prefix(comma + 1);
    }
    return false;
}

// The query's "data" value; false for a malformed escape in it.
bool readQuery(View query, std::string& data) {
    while (!query.empty()) {
        const auto amp = query.find('&');
        const View pair = query.substr(0, amp);
        if (pair.substr(0, 5) == "data=") return decode(pair.substr(5), data);
        if (amp == View::npos) break;
        query.remove_prefix(amp + 1);
    }
    return true;
}

// "http://AUTHORITY/PATH" (any case of the scheme): target becomes "/PATH" ("/" when the
// path is empty), authority its host and port. False for any other form, target unchanged.
bool absoluteForm(View& target, std::string& authority) {
    for (const char* scheme : {"http://", "https://"}) {
        const size_t length = std::strlen(scheme);
        if (target.size() < length || strncasecmp(target.data(), scheme, length) != 0) continue;
        View rest = target.substr(length);
        const auto end = rest.find_first_of("/?");
        authority = std::string(rest.substr(0, end));
        if (authority.empty()) return false;
        if (end == View::npos) {
            target = "/";
        } else if (rest[end] == '?') {
            return false;  // "http://host?query" has no path to serve
        } else {
            target = rest.substr(end);
        }
        return true;
    }
    return false;
}

}  // namespace

size_t requestHeadLength(const std::string& buffer) {
    size_t searched = 0;
    return requestHeadLength(buffer, searched);
}

size_t requestHeadLength(const std::string& buffer, size_t& searched) {
    // The blank line may have begun in the bytes already searched.
    const auto end = buffer.find("\r\n\r\n", searched > 3 ? searched - 3 : 0);
    if (end != std::string::npos) return end + 4;
    searched = buffer.size();
    return 0;
}

size_t leadingEmptyLines(const std::string& buffer) {
    size_t at = 0;
    while (buffer.compare(at, 2, "\r\n") == 0) at += 2;
    return at;
}

Screening screenRequestHead(std::string_view head) {
    Screening screening;
    View rest = head;
    auto nextLine = [&rest] {
        const auto end = rest.find("\r\n");
        const View line = rest.substr(0, end);
        rest.remove_prefix(end == View::npos ? rest.size() : end + 2);
        return line;
    };
    const View line = nextLine();
    const auto space1 = line.find(' ');
    const auto space2 = space1 == View::npos ? space1 : line.find(' ', space1 + 1);
    screening.method = line.substr(0, space1);
    if (space2 != View::npos) {
        screening.target = line.substr(space1 + 1, space2 - space1 - 1);
        screening.version = line.substr(space2 + 1);
    }
    // A proxy's form of the target names the host itself, which then stands for Host.
    View origin(screening.target);
    std::string authority;
    const bool absolute = absoluteForm(origin, authority);
    if (space2 == View::npos || !isToken(screening.method) || origin.empty() || origin[0] != '/' ||
        (screening.version != "HTTP/1.0" && screening.version != "HTTP/1.1"))
        return refused(screening, 400, "malformed request line");
    for (unsigned char c : screening.target)
        if (c <= 0x20 || c == 0x7F) return refused(screening, 400, "malformed request line");
    if (screening.target.size() > kMaxTargetBytes)
        return refused(screening, 414,
                       "request target over " + std::to_string(kMaxTargetBytes) + " bytes");
    if (screening.method != "GET" && screening.method != "HEAD")
        return refused(screening, 405, "method not allowed");

    size_t fields = 0;
    int ranges = 0;
    int hosts = 0;
    bool rangeFault = false, closes = false, keepsAlive = false;
    // The head ends with an empty line, which ends the loop.
    for (View field = nextLine(); !field.empty(); field = nextLine()) {
        if (++fields > kMaxHeaderFields)
            return refused(screening, 431, "more than 64 header fields");
        // A lone CR or LF would end the line for a parser that splits at LF.
        for (unsigned char c : field)
            if ((c < 0x20 && c != '\t') || c == 0x7F)
                return refused(screening, 400, "control character in a header field");
        const auto colon = field.find(':');
        if (colon == View::npos || !isToken(field.substr(0, colon)))
            return refused(screening, 400, "malformed header field");
        const View name = field.substr(0, colon);
        const View value = trimmed(field.substr(colon + 1));
        if (named(name, "Transfer-Encoding") || (named(name, "Content-Length") && value != "0"))
            return refused(screening, 413, "a request body");
        if (named(name, "Range")) {
            rangeFault |=
                ++ranges > 1 || !isSingleRange(value, screening.rangeFirst, screening.rangeLast);
            screening.hasRange = true;
        } else if (named(name, "Host")) {
            ++hosts;
            if (!absolute) screening.host = value;
        } else if (named(name, "X-Forwarded-Proto")) {
            screening.forwardedProto = value;
        } else if (named(name, "Connection")) {
            closes |= listsToken(value, "close");
            keepsAlive |= listsToken(value, "keep-alive");
        }
    }
    if (hosts > 1 || (hosts == 0 && screening.version == "HTTP/1.1"))
        return refused(screening, 400,
                       hosts ? "more than one Host" : "no Host in an HTTP/1.1 request");
    if (absolute) screening.host = authority;
    const View target = origin;
    const auto question = target.find('?');
    if (!decode(target.substr(0, question), screening.path) ||
        (question != View::npos && !readQuery(target.substr(question + 1), screening.data)))
        return refused(screening, 400, "malformed escape in the request target");
    screening.keepAlive = screening.version == "HTTP/1.1" ? !closes : keepsAlive;
    // Routed by the path the endpoint answers, so no spelling of it reaches the file side.
    screening.exchange = screening.path == "/assist/server";
    // The endpoint's answer is only ever sent whole, whatever range is asked for.
    if (screening.exchange) screening.hasRange = false;
    if (rangeFault && !screening.exchange)
        return refused(screening, 416, "more than one range, or a malformed one");
    return screening;
}

}  // namespace vaultaide::tools
