#pragma once
// The server's connections: one event thread accepts them, performs TLS handshakes and reads
// each request head within its time and size limits; only a complete head goes to a worker,
// so slow or idle clients hold no worker. The version endpoint and the files have a worker
// pool each, with a bounded queue, so downloads cannot starve version requests.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "request_head.h"
#include "server_metrics.h"

struct ssl_ctx_st;
struct ssl_st;

namespace vaultaide::tools {

struct HubLimits {
    size_t maxConnections = 512;
    size_t maxHeadBytes = 16384;
    std::chrono::milliseconds headTime{10000};   // a whole request head (TLS: with handshake)
    std::chrono::milliseconds idleTime{5000};    // a kept-alive connection between requests
    std::chrono::milliseconds writeTime{10000};  // each part of an answer the client must take
    size_t maxRequestsPerConnection = 1000;
    size_t exchangeWorkers = 2;
    size_t fileWorkers = 8;
    size_t maxQueued = 512;  // per pool
};

// One request's connection while a worker answers it.
class Connection {
public:
    const std::string& head() const { return head_; }
    const std::string& peerAddress() const { return peerAddress_; }
    int peerPort() const { return peerPort_; }
    const std::string& localAddress() const { return localAddress_; }
    int localPort() const { return localPort_; }
    int socket() const { return fd_; }
    // When the request's head was complete.
    std::chrono::steady_clock::time_point headCompleteAt() const { return headAt_; }
    // True when this answer must be the connection's last.
    bool lastRequest() const { return lastRequest_; }
    // Sends everything within the write time; false when the client is gone or too slow.
    bool send(const char* data, size_t size);

private:
    friend class ConnectionHub;
    bool sendSome(const char* data, size_t size, size_t& sent, short& waitFor);

    int fd_ = -1;
    ssl_st* ssl_ = nullptr;
    bool handshakeDone_ = false;
    std::string buffer_;  // received and not yet taken as a head
    std::string head_;
    std::string peerAddress_, localAddress_;
    int peerPort_ = 0, localPort_ = 0;
    size_t requests_ = 0;
    bool lastRequest_ = false;
    bool peerEnded_ = false;  // the client shut its sending side
    bool busy_ = false;
    std::chrono::steady_clock::time_point deadline_;
    std::chrono::steady_clock::time_point waitingSince_;  // for a request, or its rest
    bool headStarted_ = false;  // bytes of a request (or a handshake) have arrived
    std::chrono::milliseconds writeTime_{0};
    std::chrono::steady_clock::time_point headAt_;
};

class ConnectionHub {
public:
    // serve answers one request on a worker and says whether the connection may stay open.
    using Serve = std::function<bool(Connection&)>;
    // refusal logs an answer the hub gave itself: the screening and the client.
    using LogRefusal = std::function<void(const Screening&, const std::string& peer)>;

    // metrics: where connections, queues and refusals are counted; none when null.
    ConnectionHub(const HubLimits& limits, ssl_ctx_st* tls, Serve serve, LogRefusal log,
                  ServerMetrics* metrics = nullptr);
    ~ConnectionHub();
    ConnectionHub(const ConnectionHub&) = delete;
    ConnectionHub& operator=(const ConnectionHub&) = delete;

    // Binds and listens; port 0 picks a free port. The bound port, or -1 with a reason.
    int listen(const std::string& host, int port, std::string& error);
    int listeningSocket() const { return listener_; }
    // Runs until stop(); then finishes the answers under way and closes every connection.
    void run();
    void stop();  // from any thread

private:
    class Pool;
    enum class Wake { Stop, Returned };

    void acceptAll();
    void readFrom(Connection& conn);
    void takeHead(Connection& conn);
    void refuse(Connection& conn, const Screening& screening);
    void arm(Connection& conn);
    void closeConnection(int fd);
    void sweep();
    bool evictIdle();
    void finished(Connection* conn, bool keepOpen);  // from a worker
    void takeReturned();

    HubLimits limits_;
    ssl_ctx_st* tls_;
    Serve serve_;
    LogRefusal log_;
    ServerMetrics* metrics_;
    int listener_ = -1;
    int epoll_ = -1;
    int wake_ = -1;  // eventfd: stop requested or connections returned
    std::atomic<bool> stopping_{false};
    std::map<int, std::unique_ptr<Connection>> connections_;
    std::mutex returnedMutex_;
    std::vector<std::pair<Connection*, bool>> returned_;
    std::unique_ptr<Pool> exchangePool_, filePool_;
    size_t turnedAway_ = 0;  // at the connection limit, since the last log line about it
    std::chrono::steady_clock::time_point nextTurnedAwayLog_;
};

}  // namespace vaultaide::tools
