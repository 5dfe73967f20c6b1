#pragma once
// One answer as the server sends it: a status, a few header lines and a body that is either
// held in memory or read from an open file.
#include <cstdint>
#include <string>

namespace vaultaide::tools {

struct Answer {
    int status = 200;
    const char* type = nullptr;       // Content-Type, or none
    std::string headers;              // further header lines, each ending with CR LF
    std::string body;                 // unless a file supplies it
    int file = -1;                    // owned by the answer until the transfer ends
    uint64_t offset = 0, length = 0;  // of the file's bytes
    std::string note;                 // what the log line adds
    uint64_t bodyLength() const { return file >= 0 ? length : body.size(); }
};

const char* reasonPhrase(int status);

// The status line and headers of answer, keepAlive: the connection stays open after it.
std::string answerHead(const Answer& answer, bool keepAlive);

// An answer without a body that ends the connection, for a refused request.
std::string refusalHead(int status);

}  // namespace vaultaide::tools
