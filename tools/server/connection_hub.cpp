#include "connection_hub.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>

#include "hub_connection.h"
#include "listen_address.h"

namespace vaultaide::tools {

namespace {

constexpr int kUnsentBytes = 128 * 1024;

}  // namespace

size_t reservedConnections(size_t maxConnections) {
    return std::min((maxConnections + 7) / 8, maxConnections - 1);
}

uint64_t descriptorsNeeded(size_t maxConnections, size_t threads) {
    return 2 * static_cast<uint64_t>(maxConnections) - reservedConnections(maxConnections) +
           threads + 16;
}

ConnectionHub::ConnectionHub(const HubLimits& limits, ssl_ctx_st* tls, AnswerSource& source,
                             ServerMetrics* metrics)
    : limits_(limits),
      downloadLimit_(limits.maxConnections - reservedConnections(limits.maxConnections)),
      tls_(tls),
      secure_(tls != nullptr),
      source_(source),
      metrics_(metrics) {
    wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    for (size_t i = 0; i < std::max<size_t>(1, limits_.threads); ++i) {
        auto loop = std::make_unique<Loop>();
        loop->epoll = epoll_create1(EPOLL_CLOEXEC);
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = wake_;
        epoll_ctl(loop->epoll, EPOLL_CTL_ADD, wake_, &event);
        loops_.push_back(std::move(loop));
    }
}

ConnectionHub::~ConnectionHub() {
    for (auto& loop : loops_) {
        for (auto& [fd, conn] : loop->connections) {
            if (conn->ssl) SSL_free(conn->ssl);
            if (conn->file >= 0) close(conn->file);
            close(fd);
        }
        close(loop->epoll);
    }
    if (listener_ >= 0) close(listener_);
    close(wake_);
}

int ConnectionHub::listen(const std::string& host, int port, std::string& error) {
    int boundPort = -1;
    listener_ = openListener(host, port, boundPort, error);
    if (listener_ < 0) return -1;
    // Accepted connections take these from the listener, which saves two calls on each.
    const int on = 1;
    setsockopt(listener_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // What waits unsent in the kernel stays small, so hundreds of clients that stop reading
    // do not pin megabytes each.
    setsockopt(listener_, IPPROTO_TCP, TCP_NOTSENT_LOWAT, &kUnsentBytes, sizeof kUnsentBytes);
    for (auto& loop : loops_) {
        epoll_event event{};
        // Each new connection wakes one thread, which takes it.
        event.events = EPOLLIN | EPOLLEXCLUSIVE;
        event.data.fd = listener_;
        epoll_ctl(loop->epoll, EPOLL_CTL_ADD, listener_, &event);
    }
    return boundPort;
}

void ConnectionHub::run() {
    for (size_t i = 1; i < loops_.size(); ++i)
        loops_[i]->thread = std::thread([this, i] { runLoop(*loops_[i]); });
    runLoop(*loops_[0]);
    for (size_t i = 1; i < loops_.size(); ++i) loops_[i]->thread.join();
}

void ConnectionHub::stop() {
    stopping_ = true;
    const uint64_t one = 1;
    if (write(wake_, &one, sizeof one) < 0) return;
}

void ConnectionHub::runLoop(Loop& loop) {
    auto nextSweep = Clock::now();
    bool stopBegun = false;
    Clock::time_point stopDeadline;
    epoll_event events[64];
    for (;;) {
        const int count = epoll_wait(loop.epoll, events, 64, 100);
        std::lock_guard<std::timed_mutex> lock(loop.mutex);
        for (int i = 0; i < count; ++i) {
            const int fd = events[i].data.fd;
            if (fd == listener_) {
                acceptAll(loop);
                continue;
            }
            const auto found = loop.connections.find(fd);
            if (found == loop.connections.end()) continue;
            Connection& conn = *found->second;
            if (conn.state != Connection::State::Sending) {
                readFrom(loop, conn);
                continue;
            }
            pumpAndFinish(loop, conn);
            if (loop.connections.count(fd) && conn.state == Connection::State::Reading)
                serveReady(loop, conn);
        }
        sendAnswers(loop);
        if (Clock::now() >= nextSweep) {
            sweep(loop);
            nextSweep = Clock::now() + std::chrono::milliseconds(100);
        }
        const bool done = stopping_ && stopStep(loop, stopBegun, stopDeadline);
        applyWatches(loop);
        source_.flushLog();
        if (done) return;
    }
}

// Once stopping: no new connections or requests; answers under way get until the deadline.
// True when the thread is done.
bool ConnectionHub::stopStep(Loop& loop, bool& stopBegun, Clock::time_point& deadline) {
    if (!stopBegun) {
        stopBegun = true;
        deadline = Clock::now() + limits_.stopTime;
        epoll_ctl(loop.epoll, EPOLL_CTL_DEL, listener_, nullptr);
        epoll_ctl(loop.epoll, EPOLL_CTL_DEL, wake_, nullptr);
    }
    const bool late = Clock::now() >= deadline;
    std::vector<Connection*> ending;
    for (auto& [fd, conn] : loop.connections)
        if (conn->state == Connection::State::Reading || late) ending.push_back(conn.get());
    for (Connection* conn : ending) {
        if (conn->state == Connection::State::Sending) {
            finishAnswer(loop, *conn, "server stopping");
        } else if (late || conn->state == Connection::State::Lingering ||
                   (conn->ssl && !conn->handshakeDone)) {
            closeConnection(loop, *conn);
        } else {
            // A request may be on its way: the client sees the end rather than a reset.
            linger(loop, *conn);
        }
    }
    return loop.connections.empty();
}

// The change reaches epoll at the end of the batch of events: a connection answered and closed
// within the batch (most that ask for the close) never costs a call.
void ConnectionHub::watch(Loop& loop, Connection& conn, uint32_t events) {
    if (conn.wanted == events) return;
    if (conn.wanted == conn.watched) loop.rewatch.push_back(conn.fd);
    conn.wanted = events;
}

void ConnectionHub::applyWatches(Loop& loop) {
    for (const int fd : loop.rewatch) {
        const auto found = loop.connections.find(fd);
        if (found == loop.connections.end()) continue;
        Connection& conn = *found->second;
        if (conn.wanted == conn.watched) continue;
        epoll_event event{};
        event.events = conn.wanted;
        event.data.fd = fd;
        epoll_ctl(loop.epoll, conn.watched ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &event);
        conn.watched = conn.wanted;
    }
    loop.rewatch.clear();
}

void ConnectionHub::closeConnection(Loop& loop, Connection& conn) {
    const int fd = conn.fd;
    if (conn.download) --downloads_;
    if (conn.file >= 0) close(conn.file);
    if (conn.ssl) {
        ERR_clear_error();
        if (conn.handshakeDone && conn.state != Connection::State::Lingering)
            SSL_shutdown(conn.ssl);
        SSL_free(conn.ssl);
        ERR_clear_error();
    }
    close(fd);  // also takes it out of the epoll set
    loop.connections.erase(fd);
    --open_;
    if (metrics_) metrics_->connectionClosed();
}

void ConnectionHub::logEvent(int status, const std::string& note) {
    source_.logAnswer(Screening(), "-", status, 0, note);
}

void ConnectionHub::sweep(Loop& loop) {
    const auto now = Clock::now();
    if (&loop == loops_[0].get()) {
        thread_local Clock::time_point nextLog;
        if (now >= nextLog && (turnedAway_ > 0 || outOfDescriptors_ > 0)) {
            if (const size_t count = turnedAway_.exchange(0))
                logEvent(503, "connection limit reached: " + std::to_string(count) +
                                  " connection(s) turned away");
            if (const size_t count = outOfDescriptors_.exchange(0))
                logEvent(503, "out of file descriptors: accepting paused " + std::to_string(count) +
                                  " time(s)");
            nextLog = now + std::chrono::seconds(1);
        }
    }
    if (!loop.accepting && now >= loop.acceptAgain && !stopping_) {
        epoll_event event{};
        event.events = EPOLLIN | EPOLLEXCLUSIVE;
        event.data.fd = listener_;
        epoll_ctl(loop.epoll, EPOLL_CTL_ADD, listener_, &event);
        loop.accepting = true;
    }
    const uint64_t windowMs = static_cast<uint64_t>(limits_.sendTime.count());
    std::vector<std::pair<Connection*, int>> ending;  // 0 close, 1 too slow, 2 head not in time
    for (auto& [fd, conn] : loop.connections) {
        if (conn->state == Connection::State::Sending) {
            if (now - conn->windowStart < limits_.sendTime) continue;
            // Measured by what the client acknowledged: the socket takes megabytes at once
            // and then nothing until a third of them is gone, however steadily it reads.
            const uint64_t delivered =
                conn->written - std::min(conn->written, unacknowledged(conn->fd));
            if (delivered < conn->windowDelivered + limits_.minRate * windowMs / 1000) {
                ending.emplace_back(conn.get(), 1);
            } else {
                conn->windowStart = now;
                conn->windowDelivered = delivered;
            }
        } else if (now >= conn->deadline) {
            const bool inHandshake = conn->ssl && !conn->handshakeDone;
            const bool timedOut =
                conn->state == Connection::State::Reading && conn->headStarted && !inHandshake;
            ending.emplace_back(conn.get(), timedOut ? 2 : 0);
        }
    }
    for (auto& [conn, why] : ending) {
        if (why == 1) {
            if (metrics_) metrics_->countRefusal(Refusal::SlowClient);
            finishAnswer(loop, *conn,
                         "below " + std::to_string(limits_.minRate) + " bytes/s for " +
                             std::to_string(windowMs / 1000) + " s");
        } else if (why == 2) {
            Screening screening = requestLineOf(conn->in);
            screening.status = 408;
            screening.reason = "request head not complete in time";
            refuse(loop, *conn, std::move(screening));
        } else {
            if (conn->ssl && !conn->handshakeDone)
                logHandshakeFailure(*conn, "not complete in time");
            closeConnection(loop, *conn);
        }
    }
}

}  // namespace vaultaide::tools
