#pragma once
// The server's connections, all driven by a few event threads (one per core) and no other:
// each thread accepts connections, performs TLS handshakes, reads request heads within their
// time and size limits, answers version requests at once and sends files without ever
// waiting for a client, so the number of slow or stalled clients is bounded only by the
// connection limit. A share of that limit is kept from file transfers for version requests.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "http_answer.h"
#include "request_head.h"
#include "server_metrics.h"

struct ssl_ctx_st;
struct ssl_st;

namespace vaultaide::tools {

struct HubLimits {
    size_t maxConnections = 512;
    size_t maxHeadBytes = 16384;
    std::chrono::milliseconds headTime{10000};  // a whole request head (TLS: with handshake)
    std::chrono::milliseconds idleTime{5000};   // a kept-alive connection between requests
    // An answer must move at least minRate bytes a second over every sendTime.
    std::chrono::milliseconds sendTime{10000};
    uint64_t minRate = 1024;
    std::chrono::milliseconds stopTime{1000};  // for answers under way once stop() is called
    size_t maxRequestsPerConnection = 1000;
    size_t threads = 2;
};

// The connections kept from file transfers (downloading ones) for other requests: an eighth.
size_t reservedConnections(size_t maxConnections);
// The file descriptors a server with this connection limit may need: a socket per connection,
// an open file per transfer and a few of its own.
uint64_t descriptorsNeeded(size_t maxConnections, size_t threads);

// What the hub asks of the service; called on the event threads.
class AnswerSource {
public:
    virtual ~AnswerSource() = default;
    // The answer to a request that passed screening.
    virtual Answer answer(const Screening& request) = 0;
    // Every answer and refusal ends here, once, with the body bytes the client was sent.
    virtual void logAnswer(const Screening& request, const std::string& peer, int status,
                           uint64_t bytes, const std::string& note) = 0;
    // The thread has handled a batch of events: what it logged goes out now.
    virtual void flushLog() = 0;
};

class ConnectionHub {
public:
    // metrics: where connections, slow clients and answer times are counted; none when null.
    ConnectionHub(const HubLimits& limits, ssl_ctx_st* tls, AnswerSource& source,
                  ServerMetrics* metrics = nullptr);
    ~ConnectionHub();
    ConnectionHub(const ConnectionHub&) = delete;
    ConnectionHub& operator=(const ConnectionHub&) = delete;

    // Binds and listens; port 0 picks a free port. The bound port, or -1 with a reason.
    int listen(const std::string& host, int port, std::string& error);
    int listeningSocket() const { return listener_; }
    // New connections use this TLS context from now on; the one they used until now is
    // returned (connections under way keep their own reference to it).
    ssl_ctx_st* replaceTls(ssl_ctx_st* tls);
    // Runs until stop(); answers under way then get stopTime to finish and are cut after it.
    void run();
    void stop();  // from any thread

private:
    struct Connection;
    struct Loop;
    enum class Sent { Done, Blocked, Failed, FileChanged };

    void runLoop(Loop& loop);
    bool stopStep(Loop& loop, bool& stopBegun, std::chrono::steady_clock::time_point& deadline);
    void acceptAll(Loop& loop);
    bool makeRoom(Loop& loop);
    void readFrom(Loop& loop, Connection& conn);
    void serveReady(Loop& loop, Connection& conn);
    void startAnswer(Loop& loop, Connection& conn, Answer answer);
    void sendAnswers(Loop& loop);
    Sent pump(Connection& conn);
    void pumpAndFinish(Loop& loop, Connection& conn);
    void finishAnswer(Loop& loop, Connection& conn, const std::string& cutShort);
    void refuse(Loop& loop, Connection& conn, Screening screening);
    void endAfterAnswer(Loop& loop, Connection& conn);
    void linger(Loop& loop, Connection& conn);
    // reason: null for the one OpenSSL gives.
    void logHandshakeFailure(const Connection& conn, const char* reason = nullptr);
    void awaitRequest(Loop& loop, Connection& conn);
    void watch(Loop& loop, Connection& conn, uint32_t events);
    void applyWatches(Loop& loop);
    void closeConnection(Loop& loop, Connection& conn);
    void sweep(Loop& loop);
    void logEvent(int status, const std::string& note);
    ssl_st* newTlsSession();

    HubLimits limits_;
    size_t downloadLimit_;
    std::mutex tlsMutex_;
    ssl_ctx_st* tls_;
    bool secure_;
    std::mutex handshakeLogMutex_;
    std::unordered_map<std::string, std::chrono::steady_clock::time_point> handshakeLogged_;
    AnswerSource& source_;
    ServerMetrics* metrics_;
    int listener_ = -1;
    int wake_ = -1;  // eventfd: stop requested
    std::atomic<bool> stopping_{false};
    std::atomic<size_t> open_{0};       // connections, on every thread
    std::atomic<size_t> downloads_{0};  // connections in a file answer
    std::atomic<size_t> turnedAway_{0};
    std::atomic<size_t> outOfDescriptors_{0};
    std::vector<std::unique_ptr<Loop>> loops_;
};

}  // namespace vaultaide::tools
