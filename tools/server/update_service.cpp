#include "update_service.h"

#include <unistd.h>

#include <ctime>
#include <iostream>

#include "log_text.h"
#include "static_files.h"
#include "version_endpoint.h"

namespace vaultaide::tools {

namespace {

constexpr size_t kFlushBytes = 64 * 1024;

thread_local std::string t_note;  // what the handler wants in the request's log line
// What the version endpoint made of the request being answered on this thread.
thread_local struct {
    bool asked = false;
    int status = 0;
    std::string bank;
} t_version;

// The request from the head the hub read, the answer into one buffer that goes out in one
// write when it is small (a split header and body would wait for a delayed ACK).
class HeadStream : public httplib::Stream {
public:
    explicit HeadStream(Connection& conn) : conn_(conn) {}

    bool is_readable() const override { return read_ < conn_.head().size(); }
    bool is_writable() const override { return !failed_; }
    ssize_t read(char* ptr, size_t size) override {
        const size_t n = std::min(size, conn_.head().size() - read_);
        conn_.head().copy(ptr, n, read_);
        read_ += n;
        return static_cast<ssize_t>(n);
    }
    ssize_t write(const char* ptr, size_t size) override {
        if (failed_) return -1;
        out_.append(ptr, size);
        if (out_.size() >= kFlushBytes && !flush()) return -1;
        return static_cast<ssize_t>(size);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = conn_.peerAddress();
        port = conn_.peerPort();
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip = conn_.localAddress();
        port = conn_.localPort();
    }
    socket_t socket() const override { return conn_.socket(); }

    bool flush() {
        if (!failed_ && !out_.empty()) failed_ = !conn_.send(out_.data(), out_.size());
        out_.clear();
        return !failed_;
    }

private:
    Connection& conn_;
    size_t read_ = 0;
    std::string out_;
    bool failed_ = false;
};

std::string contentTypeOf(const std::string& path) {
    const auto dot = path.rfind('.');
    return dot != std::string::npos && path.compare(dot, 4, ".xml") == 0 && dot + 4 == path.size()
               ? "application/xml"
               : "application/octet-stream";
}

}  // namespace

UpdateService::UpdateService(const ServerEnvelopeKey& key,
                             std::shared_ptr<const ReleaseConfig> config, int rootFd,
                             std::string scheme, ServerMetrics* metrics)
    : key_(key),
      config_(std::move(config)),
      rootFd_(rootFd),
      scheme_(std::move(scheme)),
      metrics_(metrics) {
    set_keep_alive_max_count(1000);
    set_keep_alive_timeout(5);
    set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
        route(request, response);
        return HandlerResponse::Handled;
    });
    set_logger([this](const httplib::Request& request, const httplib::Response& response) {
        logAnswer(request, response);
    });
}

void UpdateService::replaceConfig(std::shared_ptr<const ReleaseConfig> config) {
    std::atomic_store(&config_, std::move(config));
}

bool UpdateService::answer(Connection& conn) {
    HeadStream stream(conn);
    bool closed = false;
    t_version.asked = false;
    const bool written = process_request(stream, conn.lastRequest(), closed, nullptr);
    const bool flushed = stream.flush();
    if (metrics_ && t_version.asked)
        metrics_->observeVersionAnswer(std::chrono::steady_clock::now() - conn.headCompleteAt());
    return flushed && written && !closed && !conn.lastRequest();
}

void UpdateService::route(const httplib::Request& request, httplib::Response& response) {
    // Clients ask for gzip but decode nothing: every body goes out as its bytes.
    const_cast<httplib::Request&>(request).headers.erase("Accept-Encoding");
    if (request.path != "/assist/server") {
        serveFile(request, response);
        return;
    }
    // Behind a front server "{self}" names the scheme the client used there.
    const std::string forwarded = request.get_header_value("X-Forwarded-Proto");
    const std::string& scheme = forwarded == "http" || forwarded == "https" ? forwarded : scheme_;
    const auto config = std::atomic_load(&config_);
    const auto answer = answerVersionRequest(key_, *config, request.get_param_value("data"),
                                             selfBaseOf(scheme, request.get_header_value("Host")));
    response.status = answer.status;
    response.set_content(answer.body, "text/plain");
    t_note = answer.note;
    t_version.asked = true;
    t_version.status = answer.status;
    t_version.bank = answer.bank;
}

void UpdateService::serveFile(const httplib::Request& request, httplib::Response& response) {
    const ServedFile file = openServedFile(rootFd_, request.path);
    if (file.fd < 0) {
        response.status = 404;
        return;
    }
    auto fd = std::shared_ptr<int>(new int(file.fd), [](int* p) {
        close(*p);
        delete p;
    });
    uint64_t offset = 0, length = file.size;
    auto& ranges = const_cast<httplib::Request&>(request).ranges;
    if (!ranges.empty()) {
        // The range is applied here, against the file's size; httplib sends what it is given.
        const bool satisfiable =
            resolveRange(ranges[0].first, ranges[0].second, file.size, offset, length);
        ranges.clear();
        if (!satisfiable) {
            response.status = 416;
            response.set_header("Content-Range", "bytes */" + std::to_string(file.size));
            return;
        }
        response.status = 206;
        response.set_header("Content-Range", "bytes " + std::to_string(offset) + "-" +
                                                 std::to_string(offset + length - 1) + "/" +
                                                 std::to_string(file.size));
    }
    response.set_header("Accept-Ranges", "bytes");
    const std::string type = contentTypeOf(request.path);
    if (length == 0) {
        response.set_content("", type);
        return;
    }
    response.set_content_provider(
        length, type, [fd, offset](size_t at, size_t count, httplib::DataSink& sink) {
            char chunk[kFlushBytes];
            const ssize_t n =
                pread(*fd, chunk, std::min(count, sizeof chunk), static_cast<off_t>(offset + at));
            // A file cut short on disk ends the connection; its length was already promised.
            return n > 0 && sink.write(chunk, static_cast<size_t>(n));
        });
}

void UpdateService::logAnswer(const httplib::Request& request, const httplib::Response& response) {
    const size_t bytes = request.method == "HEAD"     ? 0
                         : !response.body.empty()     ? response.body.size()
                         : response.content_provider_ ? response.content_length_
                                                      : 0;
    std::string note;
    note.swap(t_note);
    const bool cut = request.method != "HEAD" && response.content_provider_ &&
                     !response.content_provider_success_;
    if (cut) note = "transfer cut short";
    if (metrics_) countAnswer(response.status, response.content_provider_ ? bytes : 0, cut);
    writeLogLine(request.remote_addr, request.method, request.target, request.version,
                 response.status, bytes, note);
}

void UpdateService::countAnswer(int status, size_t fileBytes, bool cut) {
    metrics_->countResponse(status);
    if (t_version.asked) {
        if (t_version.status == 200)
            metrics_->countVersionRequest(VersionResult::Answered, t_version.bank);
        else if (t_version.status == 404)
            metrics_->countVersionRequest(VersionResult::UnknownBank, t_version.bank);
        else if (t_version.bank.empty())
            metrics_->countVersionRequest(VersionResult::BadEnvelope, "");
    }
    if (cut)
        metrics_->countTransferCut();
    else
        metrics_->countFileBytes(fileBytes);
}

void UpdateService::logRefusal(const Screening& screening, const std::string& peer) {
    writeLogLine(peer, screening.method, screening.target, screening.version, screening.status, 0,
                 screening.reason);
}

void UpdateService::writeLogLine(const std::string& peer, const std::string& method,
                                 const std::string& target, const std::string& version, int status,
                                 size_t bytes, const std::string& note) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
    std::string line = std::string(stamp) + " " + logField(peer) + " " + logField(method, 16) +
                       " " + logField(target) + " " + logField(version, 16) + " " +
                       std::to_string(status) + " " + std::to_string(bytes);
    if (!note.empty()) line += " " + logField(note, 200, true);
    line += "\n";
    std::lock_guard<std::mutex> lock(logMutex_);
    std::cerr << line << std::flush;
}

}  // namespace vaultaide::tools
