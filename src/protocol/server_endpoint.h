#pragma once
// The update server's endpoint record and its optional override file, serverip.dat.
#include <cstddef>
#include <string>
#include <vector>

namespace vaultaide {

class Files;

struct DownloadPath {
    std::string ip;                   // server base: scheme, "://" and host, no trailing slash
    std::vector<std::string> ipList;  // alternative bases, tried in order instead of ip
    std::string port;                 // empty, or ":" and the port number
    std::string path;                 // path and query up to and including "data="
};

extern DownloadPath g_downloadpath;

constexpr const char* kDefaultRequestPath = "/assist/server?reqtype=1&data=";
constexpr const char* kServerIpFileName = "serverip.dat";
// A larger serverip.dat is taken for absent.
constexpr size_t kMaxServerIpBytes = 4096;

// Splits text-mode lines: a line ends at a line feed, a carriage return right before it goes
// with it. Returns the complete lines and a last line without line feed, if any.
std::vector<std::string> splitTextLines(const std::string& bytes);

// Applies serverip.dat from the current directory when it exists. False when it has fewer
// than three lines; the endpoint is then unchanged.
bool loadServerEndpoint(Files& files, DownloadPath& endpoint = g_downloadpath);

}  // namespace vaultaide
