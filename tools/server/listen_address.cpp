#include "listen_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vaultaide::tools {

bool parseListenAddress(const std::string& text, std::string& host, int& port, std::string& error,
                        const char* option) {
    const auto colon = text.rfind(':');
    std::string name = colon == std::string::npos ? "" : text.substr(0, colon);
    const std::string digits = colon == std::string::npos ? "" : text.substr(colon + 1);
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
        name = name.substr(1, name.size() - 2);
    const bool numeric = !digits.empty() && digits.size() <= 5 &&
                         digits.find_first_not_of("0123456789") == std::string::npos;
    if (name.empty() || !numeric || std::stoi(digits) > 65535) {
        error = std::string(option) + " \"" + text + "\": HOST:PORT with a port from 0 to 65535";
        return false;
    }
    host = name;
    port = std::stoi(digits);
    return true;
}

int openListener(const std::string& host, int port, int& boundPort, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (rc != 0) {
        error = "cannot resolve " + host + ": " + gai_strerror(rc);
        return -1;
    }
    error = "cannot listen on " + host + ":" + std::to_string(port);
    int listener = -1;
    for (addrinfo* at = found; at && listener < 0; at = at->ai_next) {
        const int fd = socket(at->ai_family, at->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const int on = 1;
        if (fd >= 0 && setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
            bind(fd, at->ai_addr, at->ai_addrlen) == 0 && ::listen(fd, SOMAXCONN) == 0) {
            listener = fd;
        } else {
            error += std::string(": ") + std::strerror(errno);
            if (fd >= 0) close(fd);
        }
    }
    freeaddrinfo(found);
    if (listener < 0) return -1;
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &length);
    boundPort = bound.ss_family == AF_INET6
                    ? ntohs(reinterpret_cast<const sockaddr_in6&>(bound).sin6_port)
                    : ntohs(reinterpret_cast<const sockaddr_in&>(bound).sin_port);
    return listener;
}

}  // namespace vaultaide::tools
