#pragma once
#include <string>

namespace vaultaide::tools {

// A request field as it goes into a log line: printable ASCII stays, every other byte and
// the backslash and double quote become \xHH, so no client can start or fake a line or a
// field. Spaces stay only where asked (the last field of a line). Longer text is cut at limit
// bytes and marked with "..."; empty text is "-".
std::string logField(const std::string& text, size_t limit = 200, bool spaces = false);

// The time that starts every log line, UTC to the second (formatted once a second per thread).
const std::string& logTime();

}  // namespace vaultaide::tools
