// Sending answers: heads and bodies from memory, files by sendfile or through TLS, a bounded
// share per turn, each answer ending in one log line.
#include <linux/sockios.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "hub_connection.h"

namespace vaultaide::tools {

namespace {

constexpr size_t kChunk = 64 * 1024;  // read from a file for TLS, per step

}  // namespace

uint64_t unacknowledged(int fd) {
    int queued = 0;
    return ioctl(fd, SIOCOUTQ, &queued) == 0 && queued > 0 ? static_cast<uint64_t>(queued) : 0;
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
                // The last bytes of an answer the connection ends after wait for the FIN that
                // closing it sends, and leave with it in one segment.
                const int more = conn.keepOpen || conn.fileLeft > 0 ? 0 : MSG_MORE;
                n = ::send(conn.fd, conn.out.data() + conn.outSent, size, MSG_NOSIGNAL | more);
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

}  // namespace vaultaide::tools
