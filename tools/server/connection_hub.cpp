#include "connection_hub.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "listen_address.h"

namespace vaultaide::tools {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kChunk = 64 * 1024;               // read from a file for TLS, per step
constexpr uint64_t kTurnBytes = 1024 * 1024;       // one connection's share of one event
constexpr auto kLinger = std::chrono::seconds(2);  // a refused client's last bytes are read
constexpr int kUnsentBytes = 128 * 1024;
constexpr size_t kHandshakeLogPeers = 4096;  // client addresses whose last line is remembered

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

// The method, target and version of a head that never became a whole request.
Screening requestLineOf(const std::string& buffer) {
    return screenRequestHead(buffer.substr(0, buffer.find("\r\n")) + "\r\n\r\n");
}

// The bytes the socket took that the client has not acknowledged yet (over TLS counted with
// the records' overhead, so a little more than the answer's bytes).
uint64_t unacknowledged(int fd) {
    int queued = 0;
    return ioctl(fd, SIOCOUTQ, &queued) == 0 && queued > 0 ? static_cast<uint64_t>(queued) : 0;
}

}  // namespace

size_t reservedConnections(size_t maxConnections) {
    return std::min((maxConnections + 7) / 8, maxConnections - 1);
}

uint64_t descriptorsNeeded(size_t maxConnections, size_t threads) {
    return 2 * static_cast<uint64_t>(maxConnections) - reservedConnections(maxConnections) +
           threads + 16;
}

struct ConnectionHub::Connection {
    enum class State { Reading, Sending, Lingering };
    int fd = -1;
    SSL* ssl = nullptr;
    bool handshakeDone = false;
    std::string peer;
    State state = State::Reading;
    uint32_t watched = 0;      // the epoll events asked for
    std::string in;            // received and not yet taken as a head
    size_t searched = 0;       // how much of in is known to hold no blank line
    bool headStarted = false;  // bytes of a request (or a handshake) have arrived
    bool peerEnded = false;    // the client shut its sending side
    bool evicted = false;      // shut down by another thread to make room
    size_t requests = 0;
    Clock::time_point waitingSince, deadline;
    // The answer under way.
    Screening request;
    int status = 0;
    std::string note;
    bool keepOpen = false, download = false;
    std::string out;  // head, and body bytes from memory
    size_t outSent = 0;
    uint64_t headBytes = 0, written = 0;  // the head's size, and all bytes the socket took
    int file = -1;
    off_t fileOffset = 0;
    uint64_t fileLeft = 0;
    Clock::time_point windowStart;
    uint64_t windowDelivered = 0;
    Clock::time_point headAt;  // when the request's head was complete
};

struct ConnectionHub::Loop {
    int epoll = -1;
    // Held while the thread handles events, so another thread can look for a connection to
    // close when it needs room.
    std::mutex mutex;
    std::unordered_map<int, std::unique_ptr<Connection>> connections;
    bool accepting = true;
    Clock::time_point acceptAgain;
    std::thread thread;
    std::vector<int> unsent;  // answers made in this batch of events, sent at its end
};

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
        std::lock_guard<std::mutex> lock(loop.mutex);
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
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        // What waits unsent in the kernel stays small, so hundreds of clients that stop
        // reading do not pin megabytes each.
        setsockopt(fd, IPPROTO_TCP, TCP_NOTSENT_LOWAT, &kUnsentBytes, sizeof kUnsentBytes);
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
    std::vector<std::unique_lock<std::mutex>> held;  // the other threads stay out meanwhile
    Connection* oldest = nullptr;
    Loop* owner = nullptr;
    for (auto& other : loops_) {
        if (other.get() != &loop) {
            std::unique_lock<std::mutex> lock(other->mutex, std::try_to_lock);
            if (!lock.owns_lock()) continue;
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

void ConnectionHub::awaitRequest(Loop& loop, Connection& conn) {
    conn.state = Connection::State::Reading;
    conn.headStarted = !conn.in.empty();
    conn.waitingSince = Clock::now();
    conn.deadline = conn.waitingSince + (conn.headStarted ? limits_.headTime : limits_.idleTime);
    watch(loop, conn, EPOLLIN | EPOLLRDHUP);
}

void ConnectionHub::watch(Loop& loop, Connection& conn, uint32_t events) {
    if (conn.watched == events) return;
    epoll_event event{};
    event.events = events;
    event.data.fd = conn.fd;
    epoll_ctl(loop.epoll, conn.watched ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, conn.fd, &event);
    conn.watched = events;
}

void ConnectionHub::readFrom(Loop& loop, Connection& conn) {
    if (conn.ssl && !conn.handshakeDone) {
        // The thread's error queue may hold another connection's failure, which would make
        // this call's outcome look like one.
        ERR_clear_error();
        const int rc = SSL_do_handshake(conn.ssl);
        if (rc != 1) {
            if (SSL_get_error(conn.ssl, rc) != SSL_ERROR_WANT_READ) {
                logHandshakeFailure(conn);
                closeConnection(loop, conn);
            }
            return;
        }
        conn.handshakeDone = true;
    }
    char chunk[8192];
    bool ended = false;  // the client sent all it will send
    const bool lingering = conn.state == Connection::State::Lingering;
    // What a refused client still sends is dropped a bounded amount per event, so one that
    // keeps sending cannot hold the thread; the level-triggered event brings it back.
    uint64_t dropped = 0;
    while (!ended && (lingering ? dropped < kTurnBytes : conn.in.size() <= limits_.maxHeadBytes)) {
        ssize_t n;
        if (conn.ssl) {
            ERR_clear_error();
            n = SSL_read(conn.ssl, chunk, sizeof chunk);
            if (n <= 0) {
                if (SSL_get_error(conn.ssl, static_cast<int>(n)) == SSL_ERROR_WANT_READ) break;
                ended = true;
                continue;
            }
        } else {
            n = recv(conn.fd, chunk, sizeof chunk, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
            if (n <= 0) {
                ended = true;
                continue;
            }
        }
        if (lingering) {
            dropped += static_cast<uint64_t>(n);
            continue;
        }
        // The time it has waited runs on: a byte now and then does not make it a newcomer.
        if (!conn.headStarted) {
            conn.headStarted = true;
            conn.deadline = Clock::now() + limits_.headTime;
        }
        conn.in.append(chunk, static_cast<size_t>(n));
        // A short read took all there was: asking again would only cost a call that fails.
        // (An end of the stream after it is reported by the next event.)
        if (!conn.ssl && static_cast<size_t>(n) < sizeof chunk) break;
    }
    if (ended) {
        // A request sent before the client shut its side down is still answered, as its last.
        if (lingering || conn.evicted || requestHeadLength(conn.in, conn.searched) == 0) {
            closeConnection(loop, conn);
            return;
        }
        conn.peerEnded = true;
    }
    if (!lingering) serveReady(loop, conn);
}

// Answers the requests whose heads have arrived, one after the other while each answer goes
// out at once (pipelining); stops at the first that has to wait for the client.
void ConnectionHub::serveReady(Loop& loop, Connection& conn) {
    while (conn.state == Connection::State::Reading) {
        // Empty lines before a request line are passed over.
        if (conn.searched == 0) conn.in.erase(0, leadingEmptyLines(conn.in));
        const size_t length = requestHeadLength(conn.in, conn.searched);
        if (length == 0 || length > limits_.maxHeadBytes) {
            if (conn.in.size() >= limits_.maxHeadBytes) {
                Screening screening = requestLineOf(conn.in);
                if (screening.status != 414) {  // a target too long is named as such
                    screening.status = 431;
                    screening.reason =
                        "request head over " + std::to_string(limits_.maxHeadBytes) + " bytes";
                }
                refuse(loop, conn, std::move(screening));
            } else if (conn.peerEnded) {
                closeConnection(loop, conn);
            } else if (conn.ssl && SSL_pending(conn.ssl) > 0) {
                readFrom(loop, conn);  // decrypted and held inside the TLS session
            }
            return;
        }
        conn.headAt = Clock::now();
        Screening screening = screenRequestHead(std::string_view(conn.in).substr(0, length));
        conn.in.erase(0, length);
        conn.searched = 0;
        if (screening.status != 0) {
            refuse(loop, conn, std::move(screening));
            return;
        }
        ++conn.requests;
        conn.keepOpen = screening.keepAlive && !conn.peerEnded && !stopping_ &&
                        conn.requests < limits_.maxRequestsPerConnection;
        conn.download = !screening.exchange;
        if (conn.download && downloads_.fetch_add(1) >= downloadLimit_) {
            --downloads_;
            conn.download = false;
            screening.status = 503;
            screening.reason = "file transfer limit reached";
            refuse(loop, conn, std::move(screening));
            return;
        }
        conn.request = std::move(screening);
        startAnswer(loop, conn, source_.answer(conn.request));
    }
}

void ConnectionHub::startAnswer(Loop& loop, Connection& conn, Answer answer) {
    conn.state = Connection::State::Sending;
    conn.status = answer.status;
    conn.note = std::move(answer.note);
    if (conn.keepOpen && conn.request.version == "HTTP/1.0")
        answer.headers += "Connection: keep-alive\r\n";
    conn.out = answerHead(answer, conn.keepOpen);
    conn.outSent = 0;
    conn.headBytes = conn.out.size();
    conn.written = 0;
    conn.file = answer.file;
    conn.fileOffset = static_cast<off_t>(answer.offset);
    conn.fileLeft = 0;
    if (conn.request.method != "HEAD") {
        if (conn.file >= 0)
            conn.fileLeft = answer.length;
        else
            conn.out += answer.body;
    }
    conn.windowStart = Clock::now();
    conn.windowDelivered = 0;
    // Sent once the batch's other requests are answered too: each send may wake a client that
    // then takes the processor, so sending them together costs fewer switches.
    loop.unsent.push_back(conn.fd);
}

void ConnectionHub::sendAnswers(Loop& loop) {
    // Sending may finish an answer and let a pipelined request make the next one.
    while (!loop.unsent.empty()) {
        std::vector<int> unsent;
        unsent.swap(loop.unsent);
        for (int fd : unsent) {
            const auto found = loop.connections.find(fd);
            if (found == loop.connections.end() ||
                found->second->state != Connection::State::Sending)
                continue;
            Connection& conn = *found->second;
            pumpAndFinish(loop, conn);
            if (loop.connections.count(fd) && conn.state == Connection::State::Reading)
                serveReady(loop, conn);
        }
    }
}

ConnectionHub::Sent ConnectionHub::pump(Connection& conn) {
    uint64_t turn = 0;
    for (;;) {
        if (turn >= kTurnBytes) return Sent::Blocked;  // the others' turn; EPOLLOUT comes back
        ssize_t n;
        if (conn.outSent < conn.out.size()) {
            const size_t size = conn.out.size() - conn.outSent;
            if (conn.ssl) {
                ERR_clear_error();
                n = SSL_write(conn.ssl, conn.out.data() + conn.outSent, static_cast<int>(size));
                if (n <= 0) {
                    const int error = SSL_get_error(conn.ssl, static_cast<int>(n));
                    return error == SSL_ERROR_WANT_WRITE || error == SSL_ERROR_WANT_READ
                               ? Sent::Blocked
                               : Sent::Failed;
                }
            } else {
                n = ::send(conn.fd, conn.out.data() + conn.outSent, size, MSG_NOSIGNAL);
            }
            if (n >= 0) conn.outSent += static_cast<size_t>(n);
            if (conn.outSent == conn.out.size()) {
                conn.out.clear();
                conn.outSent = 0;
            }
        } else if (conn.fileLeft > 0 && !conn.ssl) {
            n = sendfile(conn.fd, conn.file, &conn.fileOffset,
                         static_cast<size_t>(std::min<uint64_t>(conn.fileLeft, kTurnBytes)));
            if (n == 0) return Sent::FileChanged;  // shorter than it was
            if (n > 0) conn.fileLeft -= static_cast<uint64_t>(n);
        } else if (conn.fileLeft > 0) {
            conn.out.resize(static_cast<size_t>(std::min<uint64_t>(conn.fileLeft, kChunk)));
            const ssize_t got = pread(conn.file, conn.out.data(), conn.out.size(), conn.fileOffset);
            if (got == 0) return Sent::FileChanged;
            if (got < 0) return Sent::Failed;
            conn.out.resize(static_cast<size_t>(got));
            conn.fileOffset += got;
            conn.fileLeft -= static_cast<uint64_t>(got);
            continue;
        } else {
            return Sent::Done;
        }
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK ? Sent::Blocked : Sent::Failed;
        }
        conn.written += static_cast<uint64_t>(n);
        turn += static_cast<uint64_t>(n);
    }
}

void ConnectionHub::pumpAndFinish(Loop& loop, Connection& conn) {
    switch (pump(conn)) {
        case Sent::Done:
            finishAnswer(loop, conn, "");
            break;
        case Sent::Blocked:
            watch(loop, conn, conn.ssl && SSL_want_read(conn.ssl) ? EPOLLIN : EPOLLOUT);
            break;
        case Sent::Failed:
            finishAnswer(loop, conn, "client gone");
            break;
        case Sent::FileChanged:
            finishAnswer(loop, conn, "file changed");
            break;
    }
}

// The one end of every answer: logged with the body bytes the client got.
void ConnectionHub::finishAnswer(Loop& loop, Connection& conn, const std::string& cutShort) {
    uint64_t body = conn.written > conn.headBytes ? conn.written - conn.headBytes : 0;
    std::string note = conn.note;
    if (!cutShort.empty()) {
        // What the kernel holds unacknowledged never reached the client.
        body -= std::min(body, unacknowledged(conn.fd));
        note = "transfer cut short: " + cutShort;
    }
    source_.logAnswer(conn.request, conn.peer, conn.status, body, note);
    if (metrics_) {
        if (conn.request.exchange && cutShort.empty())
            metrics_->observeVersionAnswer(Clock::now() - conn.headAt);
        if (conn.download && !cutShort.empty()) metrics_->countTransferCut();
    }
    if (conn.file >= 0) close(conn.file);
    conn.file = -1;
    if (conn.download) --downloads_;
    conn.download = false;
    if (!cutShort.empty()) {
        closeConnection(loop, conn);
        return;
    }
    if (!conn.keepOpen || stopping_) {
        endAfterAnswer(loop, conn);
        return;
    }
    awaitRequest(loop, conn);  // the caller answers a request already here
}

// The refusal goes out in one try without waiting, then the connection lingers.
void ConnectionHub::refuse(Loop& loop, Connection& conn, Screening screening) {
    const std::string answer = refusalHead(screening.status);
    if (conn.ssl) ERR_clear_error();
    if (conn.ssl ? SSL_write(conn.ssl, answer.data(), static_cast<int>(answer.size())) <= 0
                 : ::send(conn.fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0)
        errno = 0;
    source_.logAnswer(screening, conn.peer, screening.status, 0, screening.reason);
    linger(loop, conn);
}

// A connection closed after an answer while the client may still be sending (it asked to keep
// the connection, or a pipelined request is here): closing it with those bytes unread would
// reset it and lose the answer's last bytes on their way.
void ConnectionHub::endAfterAnswer(Loop& loop, Connection& conn) {
    int unread = 0;
    if (conn.peerEnded || (!conn.request.keepAlive && conn.in.empty() &&
                           ioctl(conn.fd, FIONREAD, &unread) == 0 && unread == 0)) {
        closeConnection(loop, conn);
        return;
    }
    linger(loop, conn);
}

// The sending side is shut and what the client still sends is read and dropped for a while,
// so what it was sent is not lost to a reset.
void ConnectionHub::linger(Loop& loop, Connection& conn) {
    if (conn.ssl && conn.handshakeDone) {
        ERR_clear_error();
        SSL_shutdown(conn.ssl);
    }
    shutdown(conn.fd, SHUT_WR);
    conn.state = Connection::State::Lingering;
    conn.in.clear();
    conn.searched = 0;
    conn.waitingSince = Clock::now();
    conn.deadline = conn.waitingSince + kLinger;
    watch(loop, conn, EPOLLIN | EPOLLRDHUP);
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

SSL* ConnectionHub::newTlsSession() {
    std::lock_guard<std::mutex> lock(tlsMutex_);
    return SSL_new(tls_);  // holds its own reference to the context
}

ssl_ctx_st* ConnectionHub::replaceTls(ssl_ctx_st* tls) {
    std::lock_guard<std::mutex> lock(tlsMutex_);
    std::swap(tls, tls_);
    return tls;
}

// One line per failed handshake, at most one a second per client address, so a client that
// keeps failing cannot fill the log.
void ConnectionHub::logHandshakeFailure(const Connection& conn) {
    // A client that left before sending a byte (a port check) did not try a handshake.
    if (BIO_number_read(SSL_get_rbio(conn.ssl)) == 0) return;
    const unsigned long code = ERR_peek_error();
    const char* reason = code ? ERR_reason_error_string(code) : nullptr;
    {
        std::lock_guard<std::mutex> lock(handshakeLogMutex_);
        const auto now = Clock::now();
        if (handshakeLogged_.size() >= kHandshakeLogPeers) {
            for (auto it = handshakeLogged_.begin(); it != handshakeLogged_.end();)
                it = now - it->second >= std::chrono::seconds(1) ? handshakeLogged_.erase(it)
                                                                 : std::next(it);
            if (handshakeLogged_.size() >= kHandshakeLogPeers) return;
        }
        const auto [last, added] = handshakeLogged_.emplace(conn.peer, now);
        if (!added) {
            if (now - last->second < std::chrono::seconds(1)) return;
            last->second = now;
        }
    }
    source_.logAnswer(
        Screening(), conn.peer, 400, 0,
        std::string("TLS handshake failed: ") + (reason ? reason : "connection ended"));
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
            closeConnection(loop, *conn);
        }
    }
}

}  // namespace vaultaide::tools
