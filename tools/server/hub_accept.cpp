// Accepting connections, and room for them at the connection limit.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "hub_connection.h"

namespace vaultaide::tools {

namespace {

// Longer than another thread's batch of events takes (64 answers of one RSA operation each).
constexpr auto kOtherBatch = std::chrono::milliseconds(10);

void addressOf(const sockaddr_storage& address, std::string& text, int& port) {
    char buffer[INET6_ADDRSTRLEN] = "";
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        inet_ntop(AF_INET, &v4.sin_addr, buffer, sizeof buffer);
        port = ntohs(v4.sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        inet_ntop(AF_INET6, &v6.sin6_addr, buffer, sizeof buffer);
        port = ntohs(v6.sin6_port);
    }
    text = buffer;
}

}  // namespace

void ConnectionHub::acceptAll(Loop& loop) {
    // A bounded batch: clients that keep reconnecting must not crowd out the connections
    // already open, whose events wait in the same loop.
    for (int batch = 0; batch < 64 && loop.accepting && !stopping_; ++batch) {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        const int fd = accept4(listener_, reinterpret_cast<sockaddr*>(&peer), &length,
                               SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // The waiting connection stays in the backlog and the listener stays ready:
                // stop watching it a while rather than spin on it.
                loop.accepting = false;
                loop.acceptAgain = Clock::now() + std::chrono::milliseconds(200);
                epoll_ctl(loop.epoll, EPOLL_CTL_DEL, listener_, nullptr);
                ++outOfDescriptors_;
            }
            return;
        }
        if (metrics_) metrics_->connectionAccepted();
        if (open_.fetch_add(1) >= limits_.maxConnections && !makeRoom(loop)) {
            --open_;
            static const char busy[] =
                "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: "
                "close\r\n\r\n";
            if (!secure_ && ::send(fd, busy, sizeof busy - 1, MSG_NOSIGNAL | MSG_DONTWAIT) < 0)
                errno = 0;
            ++turnedAway_;  // logged by the sweep, one line a second at most
            if (metrics_) metrics_->connectionTurnedAway(!secure_);
            close(fd);
            continue;
        }
        auto made = std::make_unique<Connection>();
        Connection& conn = *made;
        conn.fd = fd;
        int port = 0;
        addressOf(peer, conn.peer, port);
        if (secure_) {
            conn.ssl = newTlsSession();
            if (!conn.ssl || SSL_set_fd(conn.ssl, fd) != 1) {
                if (conn.ssl) SSL_free(conn.ssl);
                close(fd);
                --open_;
                continue;
            }
            SSL_set_accept_state(conn.ssl);
        }
        loop.connections[fd] = std::move(made);
        if (metrics_) metrics_->connectionOpened();
        awaitRequest(loop, conn);
        // The handshake counts as part of the first request.
        if (secure_) {
            conn.headStarted = true;
            conn.deadline = Clock::now() + limits_.headTime;
        }
        // The request often arrives with the connection: no need to wait for the next event.
        readFrom(loop, conn);
    }
}

// At the connection limit the connection that has waited longest (a second at least) without
// a complete request makes room, on whichever thread it is; a refused one first. This thread's
// own is closed at once; another thread's is shut down and closed by its thread.
bool ConnectionHub::makeRoom(Loop& loop) {
    // Only a connection that has waited a while: busy clients between two requests would
    // otherwise be thrown out in turn by every newcomer.
    const auto waitedBefore = Clock::now() - std::chrono::seconds(1);
    std::vector<std::unique_lock<std::timed_mutex>> held;  // the other threads stay out meanwhile
    Connection* oldest = nullptr;
    Loop* owner = nullptr;
    for (auto& other : loops_) {
        if (other.get() != &loop) {
            std::unique_lock<std::timed_mutex> lock(other->mutex, std::defer_lock);
            if (!lock.try_lock_for(kOtherBatch)) continue;
            held.push_back(std::move(lock));
        }
        for (auto& [fd, conn] : other->connections) {
            if (conn->evicted || conn->state == Connection::State::Sending) continue;
            const bool refused = conn->state == Connection::State::Lingering;
            if (!refused && conn->waitingSince > waitedBefore) continue;
            const bool oldestRefused = oldest && oldest->state == Connection::State::Lingering;
            if (!oldest || (refused && !oldestRefused) ||
                (refused == oldestRefused && conn->waitingSince < oldest->waitingSince)) {
                oldest = conn.get();
                owner = other.get();
            }
        }
    }
    if (!oldest) return false;
    if (owner == &loop) {
        closeConnection(loop, *oldest);
    } else {
        oldest->evicted = true;
        shutdown(oldest->fd, SHUT_RDWR);
    }
    return true;
}

}  // namespace vaultaide::tools
