#include "integration/raw_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace vaultaide::testing {

RawHttpServer::RawHttpServer(std::string response)
    : RawHttpServer([response](const std::string&) {
          return Reply{response, response.empty()};
      }) {}

RawHttpServer::RawHttpServer(Answer answer) : answer_(std::move(answer)) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(listener_, 16) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

RawHttpServer::~RawHttpServer() {
    stopping_ = true;
    thread_.join();
    releaseHeld();
    close(listener_);
}

void RawHttpServer::releaseHeld() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int fd : held_) close(fd);
    held_.clear();
}

bool RawHttpServer::sendNow(const std::string& bytes) {
    size_t sent = 0;
    while (answering_ >= 0 && sent < bytes.size()) {
        const ssize_t n = send(answering_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return sent == bytes.size();
}

std::vector<std::string> RawHttpServer::requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::string RawHttpServer::response(int status, const std::string& body, bool withLength,
                                    long announcedLength) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + (status == 200 ? " OK" : " Error") +
                       "\r\nConnection: close\r\n";
    if (withLength)
        head +=
            "Content-Length: " +
            std::to_string(announcedLength < 0 ? static_cast<long>(body.size()) : announcedLength) +
            "\r\n";
    return head + "\r\n" + body;
}

void RawHttpServer::serve() {
    while (!stopping_) {
        pollfd p = {listener_, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        const int fd = accept(listener_, nullptr, nullptr);
        if (fd < 0) continue;
        // Read the request head, for at most five seconds.
        std::string head;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        char buffer[4096];
        while (head.find("\r\n\r\n") == std::string::npos &&
               std::chrono::steady_clock::now() < deadline && !stopping_) {
            pollfd c = {fd, POLLIN, 0};
            if (poll(&c, 1, 50) <= 0) continue;
            const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) break;
            head.append(buffer, static_cast<size_t>(got));
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(head.substr(0, head.find("\r\n\r\n")));
        }
        answering_ = fd;
        const Reply reply = answer_(head);
        sendNow(reply.bytes);
        answering_ = -1;
        if (reply.hold) {
            std::lock_guard<std::mutex> lock(mutex_);
            held_.push_back(fd);
            continue;
        }
        shutdown(fd, SHUT_WR);
        close(fd);
    }
}

}  // namespace vaultaide::testing
