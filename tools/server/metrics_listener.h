#pragma once
// The operators' listener, apart from the public one: GET /metrics (the Prometheus text
// exposition) and GET /healthz (200 "ok" while the server takes traffic, 503 with the reason
// when a load balancer should send it none). A few threads, each taking one connection at a
// time with a short deadline for the whole exchange: it serves a few collectors, not the
// public, and a stalled one holds up nobody else.
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "server_metrics.h"

namespace vaultaide::tools {

class MetricsListener {
public:
    explicit MetricsListener(const ServerMetrics& metrics);
    ~MetricsListener();
    MetricsListener(const MetricsListener&) = delete;
    MetricsListener& operator=(const MetricsListener&) = delete;

    // Binds (port 0 picks a free one) and starts answering; the bound port, or -1 with a reason.
    int start(const std::string& host, int port, std::string& error);
    // Closes the listener; the last thing the server does before it exits.
    void stop();

private:
    void serve();
    void answer(int fd);
    using Clock = std::chrono::steady_clock;
    bool waitFor(int fd, short events, Clock::time_point deadline) const;

    const ServerMetrics& metrics_;
    int listener_ = -1;
    int wake_ = -1;  // eventfd: stop
    std::vector<std::thread> threads_;
};

}  // namespace vaultaide::tools
