#include "metrics_listener.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "http_answer.h"
#include "listen_address.h"
#include "request_head.h"

namespace vaultaide::tools {

namespace {

constexpr int kThreads = 4;
constexpr size_t kMaxHead = 8192;
constexpr auto kDeadline = std::chrono::seconds(2);  // for one whole exchange

}  // namespace

// Waits for events on fd until deadline; false when they did not come or the listener stops,
// so no client holds up the server's exit.
bool MetricsListener::waitFor(int fd, short events, Clock::time_point deadline) const {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd items[2] = {{fd, events, 0}, {wake_, POLLIN, 0}};
    return left > 0 && poll(items, 2, static_cast<int>(left)) > 0 && items[1].revents == 0 &&
           items[0].revents != 0;
}

MetricsListener::MetricsListener(const ServerMetrics& metrics) : metrics_(metrics) {}

MetricsListener::~MetricsListener() {
    stop();
    if (listener_ >= 0) close(listener_);
    if (wake_ >= 0) close(wake_);
}

int MetricsListener::start(const std::string& host, int port, std::string& error) {
    int bound = -1;
    listener_ = openListener(host, port, bound, error);
    if (listener_ < 0) {
        error += " (--metrics-listen)";
        return -1;
    }
    wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    for (int i = 0; i < kThreads; ++i) threads_.emplace_back([this] { serve(); });
    return bound;
}

void MetricsListener::stop() {
    if (threads_.empty()) return;
    // The eventfd stays readable: every thread sees it.
    const uint64_t one = 1;
    if (write(wake_, &one, sizeof one) < 0) return;
    for (auto& thread : threads_) thread.join();
    threads_.clear();
}

void MetricsListener::serve() {
    for (;;) {
        pollfd items[2] = {{listener_, POLLIN, 0}, {wake_, POLLIN, 0}};
        if (poll(items, 2, -1) < 0 && errno != EINTR) return;
        if (items[1].revents) return;
        if (!items[0].revents) continue;
        // Another thread may have taken the connection first (EAGAIN).
        const int fd = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            answer(fd);
            close(fd);
        } else if (errno == EMFILE || errno == ENFILE) {
            // Nothing to take it with: let the descriptors free up rather than spin.
            pollfd wake{wake_, POLLIN, 0};
            if (poll(&wake, 1, 100) > 0) return;
        }
    }
}

void MetricsListener::answer(int fd) {
    const auto deadline = Clock::now() + kDeadline;
    std::string head;
    char chunk[2048];
    while (requestHeadLength(head) == 0 && head.size() < kMaxHead) {
        if (!waitFor(fd, POLLIN, deadline)) return;
        const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return;
        head.append(chunk, static_cast<size_t>(n));
    }
    const size_t length = requestHeadLength(head);
    const Screening request = screenRequestHead(length ? head.substr(0, length) : "");
    Answer reply;
    reply.type = "text/plain; charset=utf-8";
    if (length == 0) {
        reply.status = 431;
    } else if (request.status != 0) {
        reply.status = request.status;
        if (reply.status == 405) reply.headers = "Allow: GET, HEAD\r\n";
    } else if (request.path == "/metrics") {
        reply.type = "text/plain; version=0.0.4; charset=utf-8";
        reply.body = metrics_.exposition();
    } else if (request.path == "/healthz") {
        const std::string reason = metrics_.unhealthyReason();
        reply.status = reason.empty() ? 200 : 503;
        reply.body = (reason.empty() ? "ok" : reason) + "\n";
    } else {
        reply.status = 404;
    }
    std::string out = answerHead(reply, false);
    if (request.method != "HEAD") out += reply.body;
    for (size_t sent = 0; sent < out.size();) {
        const ssize_t n = send(fd, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            if (errno == EAGAIN && !waitFor(fd, POLLOUT, deadline)) return;
            continue;
        }
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
    // Closed with the client's bytes read, so the answer is not lost to a reset.
    shutdown(fd, SHUT_WR);
    while (waitFor(fd, POLLIN, deadline) && recv(fd, chunk, sizeof chunk, 0) > 0) {
    }
}

}  // namespace vaultaide::tools
