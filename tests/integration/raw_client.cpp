#include "integration/raw_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "protocol/built_in_keys.h"
#include "protocol/envelope.h"

namespace vaultaide::testing {

using Clock = std::chrono::steady_clock;

int connectTo(int port, int receiveBuffer) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer > 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

std::string receiveAll(int fd, std::chrono::milliseconds wait, bool* closed) {
    std::string received;
    const auto deadline = Clock::now() + wait;
    char chunk[65536];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd item{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&item, 1, static_cast<int>(left.count())) <= 0) break;
        const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            if (closed) *closed = true;
            break;
        }
        received.append(chunk, static_cast<size_t>(n));
    }
    return received;
}

std::string exchangeRaw(int port, const std::string& request, std::chrono::milliseconds wait,
                        bool halfClose, bool* closed) {
    const int fd = connectTo(port);
    if (fd < 0) return "";
    if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) < 0) return "";
    if (halfClose) shutdown(fd, SHUT_WR);
    std::string answer = receiveAll(fd, wait, closed);
    close(fd);
    return answer;
}

std::string sealedRequest(const std::string& plaintext) {
    std::string envelope;
    sealEnvelope(builtInEnvelopeKeys(), plaintext, envelope);
    return "/assist/server?reqtype=1&data=" + envelope;
}

}  // namespace vaultaide::testing
