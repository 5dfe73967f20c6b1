#include "connection_hub.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vaultaide::tools {

namespace {

using Clock = std::chrono::steady_clock;

const char* reasonPhrase(int status) {
    switch (status) {
        case 400:
            return "Bad Request";
        case 405:
            return "Method Not Allowed";
        case 408:
            return "Request Timeout";
        case 413:
            return "Payload Too Large";
        case 416:
            return "Range Not Satisfiable";
        case 431:
            return "Request Header Fields Too Large";
        default:
            return "Service Unavailable";
    }
}

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

// A fixed set of worker threads with a bounded queue of connections to answer.
class ConnectionHub::Pool {
public:
    Pool(ConnectionHub& hub, size_t threads, size_t maxQueued, WorkPool kind)
        : hub_(hub), maxQueued_(maxQueued), kind_(kind) {
        if (hub_.metrics_) hub_.metrics_->setQueueLimit(kind_, maxQueued_);
        for (size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { work(); });
    }
    ~Pool() { stop(); }

    bool push(Connection* conn) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (queue_.size() >= maxQueued_) return false;
            queue_.push_back(conn);
            if (hub_.metrics_) hub_.metrics_->setQueueDepth(kind_, queue_.size());
        }
        ready_.notify_one();
        return true;
    }

    void stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        ready_.notify_all();
        for (auto& thread : threads_)
            if (thread.joinable()) thread.join();
    }

private:
    void work() {
        for (;;) {
            Connection* conn;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                ready_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
                if (queue_.empty()) return;
                conn = queue_.front();
                queue_.pop_front();
                if (hub_.metrics_) hub_.metrics_->setQueueDepth(kind_, queue_.size());
            }
            // Requests still queued when the server stops are dropped with their connection.
            const bool keepOpen = !hub_.stopping_ && hub_.serve_(*conn);
            hub_.finished(conn, keepOpen);
        }
    }

    ConnectionHub& hub_;
    const size_t maxQueued_;
    const WorkPool kind_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Connection*> queue_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

bool Connection::sendSome(const char* data, size_t size, size_t& sent, short& waitFor) {
    waitFor = 0;
    if (ssl_) {
        const int n = SSL_write(ssl_, data + sent, static_cast<int>(size - sent));
        if (n > 0) {
            sent += static_cast<size_t>(n);
            return true;
        }
        const int error = SSL_get_error(ssl_, n);
        waitFor = error == SSL_ERROR_WANT_WRITE  ? POLLOUT
                  : error == SSL_ERROR_WANT_READ ? POLLIN
                                                 : 0;
        return waitFor != 0;
    }
    const ssize_t n = ::send(fd_, data + sent, size - sent, MSG_NOSIGNAL);
    if (n >= 0) {
        sent += static_cast<size_t>(n);
        return true;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) waitFor = POLLOUT;
    return errno == EINTR || waitFor != 0;
}

bool Connection::send(const char* data, size_t size) {
    const auto deadline = Clock::now() + writeTime_;
    size_t sent = 0;
    while (sent < size) {
        short waitFor = 0;
        if (!sendSome(data, size, sent, waitFor)) return false;
        if (waitFor == 0) continue;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd item{fd_, waitFor, 0};
        if (left <= 0 || poll(&item, 1, static_cast<int>(left)) <= 0 ||
            (item.revents & (POLLERR | POLLNVAL)))
            return false;
    }
    return true;
}

ConnectionHub::ConnectionHub(const HubLimits& limits, ssl_ctx_st* tls, Serve serve, LogRefusal log,
                             ServerMetrics* metrics)
    : limits_(limits),
      tls_(tls),
      serve_(std::move(serve)),
      log_(std::move(log)),
      metrics_(metrics) {
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
    wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = wake_;
    epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &event);
}

ConnectionHub::~ConnectionHub() {
    exchangePool_.reset();
    filePool_.reset();
    for (auto& [fd, conn] : connections_) {
        if (conn->ssl_) SSL_free(conn->ssl_);
        close(fd);
    }
    if (listener_ >= 0) close(listener_);
    close(wake_);
    close(epoll_);
}

int ConnectionHub::listen(const std::string& host, int port, std::string& error) {
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
    for (addrinfo* at = found; at && listener_ < 0; at = at->ai_next) {
        const int fd = socket(at->ai_family, at->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const int on = 1;
        if (fd >= 0 && setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
            bind(fd, at->ai_addr, at->ai_addrlen) == 0 && ::listen(fd, SOMAXCONN) == 0) {
            listener_ = fd;
        } else {
            error += std::string(": ") + std::strerror(errno);
            if (fd >= 0) close(fd);
        }
    }
    freeaddrinfo(found);
    if (listener_ < 0) return -1;
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&bound), &length);
    std::string address;
    int boundPort = -1;
    addressOf(bound, address, boundPort);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = listener_;
    epoll_ctl(epoll_, EPOLL_CTL_ADD, listener_, &event);
    return boundPort;
}

void ConnectionHub::run() {
    exchangePool_ = std::make_unique<Pool>(*this, limits_.exchangeWorkers, limits_.maxQueued,
                                           WorkPool::Version);
    filePool_ =
        std::make_unique<Pool>(*this, limits_.fileWorkers, limits_.maxQueued, WorkPool::Files);
    auto nextSweep = Clock::now();
    epoll_event events[64];
    while (!stopping_) {
        const int count = epoll_wait(epoll_, events, 64, 100);
        for (int i = 0; i < count && !stopping_; ++i) {
            const int fd = events[i].data.fd;
            if (fd == listener_) {
                acceptAll();
            } else if (fd == wake_) {
                uint64_t ignored;
                if (read(wake_, &ignored, sizeof ignored) < 0) ignored = 0;
                takeReturned();
            } else {
                const auto found = connections_.find(fd);
                if (found != connections_.end() && !found->second->busy_) readFrom(*found->second);
            }
        }
        if (Clock::now() >= nextSweep) {
            sweep();
            nextSweep = Clock::now() + std::chrono::milliseconds(100);
        }
    }
    close(listener_);
    listener_ = -1;
    exchangePool_->stop();
    filePool_->stop();
    takeReturned();
    std::vector<int> open;
    for (const auto& item : connections_) open.push_back(item.first);
    for (int fd : open) closeConnection(fd);
}

void ConnectionHub::stop() {
    stopping_ = true;
    const uint64_t one = 1;
    if (write(wake_, &one, sizeof one) < 0) return;
}

void ConnectionHub::acceptAll() {
    // A bounded batch: clients that keep reconnecting must not crowd out the connections
    // already open, whose events wait in the same loop.
    for (int batch = 0; batch < 64; ++batch) {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        const int fd = accept4(listener_, reinterpret_cast<sockaddr*>(&peer), &length,
                               SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return;
        }
        if (metrics_) metrics_->connectionAccepted();
        auto conn = std::make_unique<Connection>();
        conn->fd_ = fd;
        conn->writeTime_ = limits_.writeTime;
        addressOf(peer, conn->peerAddress_, conn->peerPort_);
        sockaddr_storage local{};
        length = sizeof local;
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
        addressOf(local, conn->localAddress_, conn->localPort_);
        if (connections_.size() >= limits_.maxConnections && !evictIdle()) {
            static const char busy[] =
                "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: "
                "close\r\n\r\n";
            if (!tls_ && ::send(fd, busy, sizeof busy - 1, MSG_NOSIGNAL | MSG_DONTWAIT) < 0)
                errno = 0;
            ++turnedAway_;  // logged by the sweep, one line a second at most
            if (metrics_) {
                metrics_->countRefusal(Refusal::ConnectionLimit);
                if (!tls_) metrics_->countResponse(503);
            }
            close(fd);
            continue;
        }
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        if (tls_) {
            conn->ssl_ = SSL_new(tls_);
            if (!conn->ssl_ || SSL_set_fd(conn->ssl_, fd) != 1) {
                if (conn->ssl_) SSL_free(conn->ssl_);
                close(fd);
                continue;
            }
            SSL_set_accept_state(conn->ssl_);
        }
        Connection& added = *conn;
        connections_[fd] = std::move(conn);
        if (metrics_) metrics_->connectionOpened();
        arm(added);
        // The handshake counts as part of the first request.
        if (tls_) {
            added.headStarted_ = true;
            added.deadline_ = Clock::now() + limits_.headTime;
        }
        // The request often arrives with the connection: no need to wait for the next event.
        readFrom(added);
    }
}

void ConnectionHub::arm(Connection& conn) {
    conn.busy_ = false;
    conn.headStarted_ = !conn.buffer_.empty();
    conn.waitingSince_ = Clock::now();
    conn.deadline_ = conn.waitingSince_ + (conn.headStarted_ ? limits_.headTime : limits_.idleTime);
    epoll_event event{};
    event.events = EPOLLIN | EPOLLRDHUP;
    event.data.fd = conn.fd_;
    epoll_ctl(epoll_, EPOLL_CTL_ADD, conn.fd_, &event);
    // A pipelined request may already be here, or held decrypted inside the TLS session.
    if (requestHeadLength(conn.buffer_) > 0)
        takeHead(conn);
    else if (conn.ssl_ && SSL_pending(conn.ssl_) > 0)
        readFrom(conn);
}

void ConnectionHub::readFrom(Connection& conn) {
    if (conn.ssl_ && !conn.handshakeDone_) {
        const int rc = SSL_do_handshake(conn.ssl_);
        if (rc != 1) {
            if (SSL_get_error(conn.ssl_, rc) != SSL_ERROR_WANT_READ) closeConnection(conn.fd_);
            return;
        }
        conn.handshakeDone_ = true;
    }
    char chunk[8192];
    bool ended = false;  // the client sent all it will send
    while (!ended && conn.buffer_.size() <= limits_.maxHeadBytes) {
        ssize_t n;
        if (conn.ssl_) {
            n = SSL_read(conn.ssl_, chunk, sizeof chunk);
            if (n <= 0) {
                const int error = SSL_get_error(conn.ssl_, static_cast<int>(n));
                if (error == SSL_ERROR_WANT_READ) break;
                ended = true;
                continue;
            }
        } else {
            n = recv(conn.fd_, chunk, sizeof chunk, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
            if (n <= 0) {
                ended = true;
                continue;
            }
        }
        if (!conn.headStarted_) {
            conn.headStarted_ = true;
            conn.waitingSince_ = Clock::now();
            conn.deadline_ = conn.waitingSince_ + limits_.headTime;
        }
        conn.buffer_.append(chunk, static_cast<size_t>(n));
    }
    if (ended) {
        // A request sent before the client shut its side down is still answered, as its last.
        if (requestHeadLength(conn.buffer_) == 0) {
            closeConnection(conn.fd_);
            return;
        }
        conn.peerEnded_ = true;
    }
    takeHead(conn);
}

void ConnectionHub::takeHead(Connection& conn) {
    const size_t length = requestHeadLength(conn.buffer_);
    if (length == 0 || length > limits_.maxHeadBytes) {
        if (conn.buffer_.size() >= limits_.maxHeadBytes) {
            Screening screening = screenRequestHead(conn.buffer_.substr(0, 200) + "\r\n\r\n");
            screening.status = 431;
            screening.reason =
                "request head over " + std::to_string(limits_.maxHeadBytes) + " bytes";
            refuse(conn, screening);
        }
        return;
    }
    conn.headAt_ = Clock::now();
    conn.head_ = conn.buffer_.substr(0, length);
    conn.buffer_.erase(0, length);
    const Screening screening = screenRequestHead(conn.head_);
    if (screening.status != 0) {
        refuse(conn, screening);
        return;
    }
    ++conn.requests_;
    conn.lastRequest_ =
        conn.requests_ >= limits_.maxRequestsPerConnection || stopping_ || conn.peerEnded_;
    conn.busy_ = true;
    epoll_ctl(epoll_, EPOLL_CTL_DEL, conn.fd_, nullptr);
    Pool& pool = screening.exchange ? *exchangePool_ : *filePool_;
    if (!pool.push(&conn)) {
        Screening busy = screening;
        busy.status = 503;
        busy.reason = "work queue full";
        refuse(conn, busy);
    }
}

void ConnectionHub::refuse(Connection& conn, const Screening& screening) {
    std::string answer = "HTTP/1.1 " + std::to_string(screening.status) + " " +
                         reasonPhrase(screening.status) +
                         "\r\nContent-Length: 0\r\nConnection: close\r\n";
    if (screening.status == 405) answer += "Allow: GET, HEAD\r\n";
    answer += "\r\n";
    // One try without waiting: a client that does not take a refusal at once gets nothing.
    if (conn.ssl_ ? SSL_write(conn.ssl_, answer.data(), static_cast<int>(answer.size())) <= 0
                  : ::send(conn.fd_, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0)
        errno = 0;
    if (metrics_) {
        metrics_->countRefusal(refusalOf(screening.status, screening.reason));
        metrics_->countResponse(screening.status);
    }
    log_(screening, conn.peerAddress_);
    closeConnection(conn.fd_);
}

void ConnectionHub::closeConnection(int fd) {
    const auto found = connections_.find(fd);
    if (found == connections_.end()) return;
    if (!found->second->busy_) epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
    if (SSL* ssl = found->second->ssl_) {
        if (found->second->handshakeDone_) SSL_shutdown(ssl);
        SSL_free(ssl);
    }
    close(fd);
    connections_.erase(found);
    if (metrics_) metrics_->connectionClosed();
}

void ConnectionHub::sweep() {
    const auto now = Clock::now();
    if (turnedAway_ > 0 && now >= nextTurnedAwayLog_) {
        Screening screening;
        screening.status = 503;
        screening.reason = "connection limit reached: " + std::to_string(turnedAway_) +
                           " connection(s) turned away";
        log_(screening, "-");
        turnedAway_ = 0;
        nextTurnedAwayLog_ = now + std::chrono::seconds(1);
    }
    std::vector<Connection*> expired;
    for (auto& [fd, conn] : connections_)
        if (!conn->busy_ && now >= conn->deadline_) expired.push_back(conn.get());
    for (Connection* conn : expired) {
        const bool inHandshake = conn->ssl_ && !conn->handshakeDone_;
        if (conn->headStarted_ && !inHandshake) {
            Screening screening = screenRequestHead(conn->buffer_.substr(0, 200) + "\r\n\r\n");
            screening.status = 408;
            screening.reason = "request head not complete in time";
            refuse(*conn, screening);
        } else {
            closeConnection(conn->fd_);
        }
    }
}

// At the connection limit the connection that has waited longest without a complete request
// makes room: idle kept-alive connections first, then unfinished heads.
bool ConnectionHub::evictIdle() {
    // Only a connection that has waited a while: busy clients between two requests would
    // otherwise be thrown out in turn by every newcomer.
    const auto waitedBefore = Clock::now() - std::chrono::seconds(1);
    Connection* oldest = nullptr;
    for (auto& [fd, conn] : connections_) {
        if (conn->busy_ || conn->waitingSince_ > waitedBefore) continue;
        if (!oldest || (oldest->headStarted_ && !conn->headStarted_) ||
            (oldest->headStarted_ == conn->headStarted_ && conn->deadline_ < oldest->deadline_))
            oldest = conn.get();
    }
    if (!oldest) return false;
    closeConnection(oldest->fd_);
    return true;
}

void ConnectionHub::finished(Connection* conn, bool keepOpen) {
    {
        std::lock_guard<std::mutex> lock(returnedMutex_);
        returned_.emplace_back(conn, keepOpen);
    }
    const uint64_t one = 1;
    if (write(wake_, &one, sizeof one) < 0) return;
}

void ConnectionHub::takeReturned() {
    std::vector<std::pair<Connection*, bool>> returned;
    {
        std::lock_guard<std::mutex> lock(returnedMutex_);
        returned.swap(returned_);
    }
    for (auto& [conn, keepOpen] : returned) {
        if (!keepOpen || stopping_ || conn->lastRequest_) {
            closeConnection(conn->fd_);
        } else {
            arm(*conn);
        }
    }
}

}  // namespace vaultaide::tools
