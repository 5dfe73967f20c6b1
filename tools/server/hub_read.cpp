// Reading request heads, answering them in order, and the end of a connection whose client may
// still be sending.
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/epoll.h>
#include <sys/socket.h>

#include <cerrno>

#include "hub_connection.h"

namespace vaultaide::tools {

namespace {

constexpr auto kLinger = std::chrono::seconds(2);  // a closing client's last bytes are read

}  // namespace

Screening requestLineOf(const std::string& buffer) {
    return screenRequestHead(buffer.substr(0, buffer.find("\r\n")) + "\r\n\r\n");
}

void ConnectionHub::awaitRequest(Loop& loop, Connection& conn) {
    conn.state = Connection::State::Reading;
    conn.headStarted = !conn.in.empty();
    conn.waitingSince = Clock::now();
    conn.deadline = conn.waitingSince + (conn.headStarted ? limits_.headTime : limits_.idleTime);
    watch(loop, conn, EPOLLIN | EPOLLRDHUP);
}

void ConnectionHub::readFrom(Loop& loop, Connection& conn) {
    if (conn.ssl && !conn.handshakeDone) {
        // The thread's error queue may hold another connection's failure, which would make
        // this call's outcome look like one.
        ERR_clear_error();
        const int rc = SSL_do_handshake(conn.ssl);
        if (rc != 1) {
            if (SSL_get_error(conn.ssl, rc) != SSL_ERROR_WANT_READ) {
                // One shut down to make room did not fail: it was closed.
                if (!conn.evicted) logHandshakeFailure(conn);
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
        if (const size_t empty = leadingEmptyLines(conn.in)) {
            conn.in.erase(0, empty);
            conn.searched = 0;
        }
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
    // A client that asked for the close sends nothing after its request.
    if (conn.peerEnded || (!conn.request.keepAlive && conn.in.empty())) {
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

}  // namespace vaultaide::tools
