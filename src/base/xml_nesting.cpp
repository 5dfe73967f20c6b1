#include "base/xml_nesting.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace vaultaide {

namespace {

// TinyXML's character classes: every byte from 127 up counts as a letter.
bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool isNameStart(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 127 || std::isalpha(b) || c == '_';
}
bool isNameChar(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 127 || std::isalnum(b) || c == '_' || c == '-' || c == '.' || c == ':';
}

// White space as TinyXML skips it, byte order marks (U+FEFF, U+FFFE, U+FFFF) included.
const char* skipSpace(const char* p) {
    for (;;) {
        const auto* u = reinterpret_cast<const unsigned char*>(p);
        if (u[0] == 0xEF &&
            ((u[1] == 0xBB && u[2] == 0xBF) || (u[1] == 0xBF && (u[2] == 0xBE || u[2] == 0xBF))))
            p += 3;
        else if (*p && isSpace(*p))
            ++p;
        else
            return p;
    }
}

bool startsWith(const char* p, const char* mark) {
    return std::strncmp(p, mark, std::strlen(mark)) == 0;
}

// mark is lower case ASCII.
bool startsWithAnyCase(const char* p, const char* mark) {
    for (; *mark; ++p, ++mark)
        if (std::tolower(static_cast<unsigned char>(*p)) != *mark) return false;
    return true;
}

// Past the next mark; null when the text ends first.
const char* past(const char* p, const char* mark) {
    const char* found = std::strstr(p, mark);
    return found ? found + std::strlen(mark) : nullptr;
}

bool isDigit(char c, bool hex) {
    return (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
}

// Null below means TinyXML stops there with an error.

// Text up to the stop character, which a character reference can hide: TinyXML reads "&#"
// or "&#x" on to the next ";" when only digits stand between it and the nearest "#" or "x"
// before it, and gives up otherwise. Null when the text ends first or TinyXML gives up.
const char* skipText(const char* p, char stop) {
    for (; *p != stop; ++p) {
        if (!*p) return nullptr;
        if (p[0] != '&' || p[1] != '#' || !p[2]) continue;
        const bool hex = p[2] == 'x';
        if (hex && !p[3]) return nullptr;
        const char* end = std::strchr(p + (hex ? 3 : 2), ';');
        if (!end) return nullptr;
        for (const char* q = end - 1; *q != (hex ? 'x' : '#'); --q)
            if (!isDigit(*q, hex)) return nullptr;
        p = end;
    }
    return p;
}

// name = "value", 'value' or a bare value.
const char* skipAttribute(const char* p) {
    p = skipSpace(p);
    if (!isNameStart(*p)) return nullptr;
    while (isNameChar(*p)) ++p;
    p = skipSpace(p);
    if (*p != '=') return nullptr;
    p = skipSpace(p + 1);
    if (*p == '"' || *p == '\'') {
        p = skipText(p + 1, *p);
        return p && p[1] ? p + 1 : nullptr;
    }
    for (; *p && !isSpace(*p) && *p != '/' && *p != '>'; ++p)
        if (*p == '"' || *p == '\'') return nullptr;
    return p;
}

// "<?xml": only version, encoding and standalone are read as attributes.
const char* skipDeclaration(const char* p) {
    p += 5;
    while (*p) {
        if (*p == '>') return p + 1;
        p = skipSpace(p);
        if (!*p) break;
        if (startsWithAnyCase(p, "version") || startsWithAnyCase(p, "encoding") ||
            startsWithAnyCase(p, "standalone")) {
            p = skipAttribute(p);
            if (!p) return nullptr;
        } else {
            while (*p && *p != '>' && !isSpace(*p)) ++p;
        }
    }
    return nullptr;
}

// A start tag; content tells whether it ends with ">" (and the element holds content) or "/>".
const char* skipStartTag(const char* p, bool& content) {
    p = skipSpace(p + 1);
    if (!isNameStart(*p)) return nullptr;
    while (isNameChar(*p)) ++p;
    while (*p) {
        p = skipSpace(p);
        if (*p == '/') {
            content = false;
            return p[1] == '>' ? p + 2 : nullptr;
        }
        if (*p == '>') {
            content = true;
            return p + 1;
        }
        p = skipAttribute(p);
        if (!p || !*p) return nullptr;
    }
    return nullptr;
}

// "</name>": TinyXML also checks the name, and stops where it differs.
const char* skipEndTag(const char* p) {
    p += 2;
    while (isNameChar(*p)) ++p;
    p = skipSpace(p);
    return *p == '>' ? p + 1 : nullptr;
}

}  // namespace

size_t tinyXmlElementDepth(const std::string& utf8Xml) {
    size_t open = 0, deepest = 0;
    const char* p = skipSpace(utf8Xml.c_str());
    while (p && *p) {
        if (*p != '<') {
            if (open == 0) break;  // text outside elements ends the document
            p = skipText(p, '<');
        } else if (open > 0 && p[1] == '/') {
            p = skipEndTag(p);
            if (p) --open;
        } else if (startsWithAnyCase(p, "<?xml")) {
            p = skipDeclaration(p);
        } else if (startsWith(p, "<!--")) {
            p = past(p + 4, "-->");
        } else if (startsWith(p, "<![CDATA[")) {
            p = past(p + 9, "]]>");
        } else if (isNameStart(p[1])) {
            deepest = std::max(deepest, open + 1);
            bool content = false;
            p = skipStartTag(p, content);
            if (p && content) ++open;
        } else {
            p = past(p + 1, ">");  // anything else up to ">", as TinyXML's unknown nodes
        }
        if (p) p = skipSpace(p);
    }
    return deepest;
}

}  // namespace vaultaide
