#pragma once
#include <string>

namespace vaultaide::tools {

// "HOST:PORT" ("[::1]:PORT" for an IPv6 address); the port is 0 to 65535, 0 picking a free one.
// option names the command-line option in the error.
bool parseListenAddress(const std::string& text, std::string& host, int& port, std::string& error,
                        const char* option = "--listen");

// A non-blocking listening socket bound to host and port (0: a free one), or -1 with a reason;
// boundPort is the port it got.
int openListener(const std::string& host, int port, int& boundPort, std::string& error);

}  // namespace vaultaide::tools
