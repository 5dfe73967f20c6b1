#pragma once
#include <string>

namespace vaultaide::tools {

// "HOST:PORT" ("[::1]:PORT" for an IPv6 address); the port is 0 to 65535, 0 picking a free one.
bool parseListenAddress(const std::string& text, std::string& host, int& port, std::string& error);

}  // namespace vaultaide::tools
