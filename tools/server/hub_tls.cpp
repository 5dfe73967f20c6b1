// TLS sessions: the context new connections use, and the line a failed handshake leaves.
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include "hub_connection.h"

namespace vaultaide::tools {

namespace {

constexpr size_t kHandshakeLogPeers = 4096;  // client addresses whose last line is remembered

}  // namespace

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
void ConnectionHub::logHandshakeFailure(const Connection& conn, const char* reason) {
    // A client that left before sending a byte (a port check) did not try a handshake.
    if (BIO_number_read(SSL_get_rbio(conn.ssl)) == 0) return;
    const unsigned long code = reason ? 0 : ERR_peek_error();
    if (code) reason = ERR_reason_error_string(code);
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

}  // namespace vaultaide::tools
