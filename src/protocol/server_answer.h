#pragma once
// The JSON object inside an opened server answer.
#include <string>

namespace vaultaide {

class TextEncoding;

struct ServerAnswer {
    std::string v;       // version text
    std::string url;     // download base
    std::string update;  // update mode as decimal text
};

// Decodes the "\u" escapes of JSON string text the system's way: CJK ideographs (U+4E00 to
// U+9FA5, U+F900 to U+FA2D) into the ANSI code page, every other code point into UTF-8; raw
// bytes pass unchanged. The result is JSON again, whose remaining escapes are plain ASCII.
std::string decodeJsonEscapes(const std::string& json, TextEncoding& encoding);

// Parses the answer. A missing member reads as empty text, a number as its decimal text, a
// boolean as "true" or "false". False when the text is no JSON object or a member is an array
// or object.
bool readServerAnswer(const std::string& plaintext, TextEncoding& encoding, ServerAnswer& answer);

}  // namespace vaultaide
