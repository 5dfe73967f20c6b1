#include "protocol/server_answer.h"

#include <json/json.h>

#include <memory>

#include "platform/text_encoding.h"

namespace vaultaide {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Four hexadecimal digits at text[at..at+3], or -1.
long readUnit(const std::string& text, size_t at) {
    if (at + 4 > text.size()) return -1;
    long value = 0;
    for (size_t i = at; i < at + 4; ++i) {
        const int digit = hexValue(text[i]);
        if (digit < 0) return -1;
        value = value * 16 + digit;
    }
    return value;
}

std::string utf8(unsigned long cp) {
    std::string out;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

bool isCjkIdeograph(unsigned long cp) {
    return (cp >= 0x4E00 && cp <= 0x9FA5) || (cp >= 0xF900 && cp <= 0xFA2D);
}

// Bytes placed into JSON string text: the two that JSON reads specially are escaped again.
void appendLiteralBytes(std::string& out, const std::string& bytes) {
    for (char c : bytes) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
}

}  // namespace

std::string decodeJsonEscapes(const std::string& json, TextEncoding& encoding) {
    std::string out;
    out.reserve(json.size());
    bool inString = false;
    for (size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (!inString) {
            if (c == '"') inString = true;
            out += c;
            continue;
        }
        if (c == '"') {
            inString = false;
            out += c;
            continue;
        }
        if (c != '\\' || i + 1 == json.size()) {
            out += c;
            continue;
        }
        const char next = json[i + 1];
        long unit = next == 'u' ? readUnit(json, i + 2) : -1;
        // Escapes of control characters, quote and backslash stay for the parser.
        if (unit < 0 || unit < 0x20 || unit == '"' || unit == '\\') {
            out += c;
            out += next;
            ++i;
            continue;
        }
        unsigned long cp = static_cast<unsigned long>(unit);
        size_t consumed = 6;
        if (cp >= 0xD800 && cp <= 0xDBFF && json.compare(i + 6, 2, "\\u") == 0) {
            const long low = readUnit(json, i + 8);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<unsigned long>(low) - 0xDC00);
                consumed = 12;
            }
        }
        appendLiteralBytes(out, isCjkIdeograph(cp) ? encoding.utf8ToAnsi(utf8(cp)) : utf8(cp));
        i += consumed - 1;
    }
    return out;
}

bool readServerAnswer(const std::string& plaintext, TextEncoding& encoding, ServerAnswer& answer) {
    const std::string json = decodeJsonEscapes(plaintext, encoding);
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errors;
    try {
        if (!reader->parse(json.data(), json.data() + json.size(), &root, &errors)) return false;
    } catch (const Json::Exception&) {
        return false;  // nesting deeper than the reader's stack limit throws instead of failing
    }
    if (!root.isObject()) return false;
    auto member = [&](const char* name, std::string& out) {
        const Json::Value& value = root[name];
        if (value.isNull()) {
            out.clear();
            return true;
        }
        if (value.isArray() || value.isObject()) return false;
        out = value.asString();
        return true;
    };
    ServerAnswer read;
    if (!member("v", read.v) || !member("url", read.url) || !member("update", read.update))
        return false;
    answer = read;
    return true;
}

}  // namespace vaultaide
