#include "metrics_listener.h"

namespace vaultaide::tools {

MetricsListener::MetricsListener(const ServerMetrics& metrics) : metrics_(metrics) {
    // A few collectors and health checks: two workers, one request per connection, so that no
    // idle kept-alive connection holds a worker; a client that stalls holds one for 2 s at most.
    server_.new_task_queue = [] { return new httplib::ThreadPool(2); };
    server_.set_read_timeout(2, 0);
    server_.set_write_timeout(2, 0);
    server_.set_keep_alive_max_count(1);
    server_.set_payload_max_length(0);
    server_.Get("/metrics", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(metrics_.exposition(), "text/plain; version=0.0.4; charset=utf-8");
    });
    server_.Get("/healthz", [this](const httplib::Request&, httplib::Response& response) {
        const std::string reason = metrics_.unhealthyReason();
        response.status = reason.empty() ? 200 : 503;
        response.set_content(reason.empty() ? "ok\n" : reason + "\n", "text/plain");
    });
}

MetricsListener::~MetricsListener() { stop(); }

int MetricsListener::start(const std::string& host, int port, std::string& error) {
    const int bound =
        port == 0 ? server_.bind_to_any_port(host) : (server_.bind_to_port(host, port) ? port : -1);
    if (bound < 0) {
        error = "cannot listen on " + host + ":" + std::to_string(port) + " for metrics";
        return -1;
    }
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    return bound;
}

void MetricsListener::stop() {
    if (!thread_.joinable()) return;
    // stop() does nothing before the thread has begun to listen.
    for (int i = 0; i < 200 && !server_.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    server_.stop();
    thread_.join();
}

}  // namespace vaultaide::tools
