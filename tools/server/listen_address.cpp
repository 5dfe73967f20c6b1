#include "listen_address.h"

namespace vaultaide::tools {

bool parseListenAddress(const std::string& text, std::string& host, int& port, std::string& error) {
    const auto colon = text.rfind(':');
    std::string name = colon == std::string::npos ? "" : text.substr(0, colon);
    const std::string digits = colon == std::string::npos ? "" : text.substr(colon + 1);
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
        name = name.substr(1, name.size() - 2);
    const bool numeric = !digits.empty() && digits.size() <= 5 &&
                         digits.find_first_not_of("0123456789") == std::string::npos;
    if (name.empty() || !numeric || std::stoi(digits) > 65535) {
        error = "--listen \"" + text + "\": HOST:PORT with a port from 0 to 65535";
        return false;
    }
    host = name;
    port = std::stoi(digits);
    return true;
}

}  // namespace vaultaide::tools
