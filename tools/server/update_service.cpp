#include "update_service.h"

#include <unistd.h>

#include <cerrno>

#include "log_text.h"
#include "static_files.h"
#include "version_endpoint.h"

namespace vaultaide::tools {

namespace {

// Log lines wait here until the event thread has handled its batch of events: one write for
// many answers.
thread_local std::string t_log;

const char* contentTypeOf(const std::string& path) {
    const auto dot = path.rfind('.');
    return dot != std::string::npos && path.compare(dot, std::string::npos, ".xml") == 0
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
      metrics_(metrics) {}

void UpdateService::replaceConfig(std::shared_ptr<const ReleaseConfig> config) {
    std::atomic_store(&config_, std::move(config));
}

Answer UpdateService::answer(const Screening& request) {
    return request.exchange ? versionAnswer(request) : fileAnswer(request);
}

// A Range header is not for this answer: the envelope is only ever whole.
Answer UpdateService::versionAnswer(const Screening& request) {
    // Behind a front server "{self}" names the scheme the client used there.
    const std::string& forwarded = request.forwardedProto;
    const std::string& scheme = forwarded == "http" || forwarded == "https" ? forwarded : scheme_;
    const auto config = std::atomic_load(&config_);
    // Held here, the configuration cannot be freed and another take its address.
    thread_local std::shared_ptr<const ReleaseConfig> t_sealedFor;
    thread_local const ServerEnvelopeKey* t_sealedWith = nullptr;
    thread_local SealedAnswers t_sealed;
    if (t_sealedFor != config || t_sealedWith != &key_) {
        t_sealed.clear();
        t_sealedFor = config;
        t_sealedWith = &key_;
    }
    EndpointAnswer endpoint = answerVersionRequest(key_, *config, request.data,
                                                   selfBaseOf(scheme, request.host), &t_sealed);
    if (metrics_ && (endpoint.status == 200 || endpoint.status == 404 || endpoint.bank.empty()))
        metrics_->countVersionRequest(endpoint.status == 200   ? VersionResult::Answered
                                      : endpoint.status == 404 ? VersionResult::UnknownBank
                                                               : VersionResult::BadEnvelope,
                                      endpoint.bank);
    Answer answer;
    answer.status = endpoint.status;
    answer.type = "text/plain";
    answer.body = std::move(endpoint.body);
    answer.note = std::move(endpoint.note);
    return answer;
}

Answer UpdateService::fileAnswer(const Screening& request) {
    Answer answer;
    const ServedFile file = openServedFile(rootFd_, request.path);
    if (file.fd < 0) {
        answer.status = file.error == EMFILE || file.error == ENFILE ? 503 : 404;
        if (answer.status == 503) answer.note = "out of file descriptors";
        return answer;
    }
    answer.file = file.fd;
    answer.length = file.size;
    answer.headers = "Accept-Ranges: bytes\r\n";
    if (request.hasRange) {
        if (!resolveRange(request.rangeFirst, request.rangeLast, file.size, answer.offset,
                          answer.length)) {
            close(answer.file);
            answer.file = -1;
            answer.status = 416;
            answer.headers += "Content-Range: bytes */" + std::to_string(file.size) + "\r\n";
            return answer;
        }
        answer.status = 206;
        answer.headers += "Content-Range: bytes " + std::to_string(answer.offset) + "-" +
                          std::to_string(answer.offset + answer.length - 1) + "/" +
                          std::to_string(file.size) + "\r\n";
    }
    answer.type = contentTypeOf(request.path);
    return answer;
}

void UpdateService::logAnswer(const Screening& request, const std::string& peer, int status,
                              uint64_t bytes, const std::string& note) {
    std::string& line = t_log;
    line += logTime();
    line += ' ';
    line += logField(peer);
    line += ' ';
    line += logField(request.method, 16);
    line += ' ';
    line += logField(request.target);
    line += ' ';
    line += logField(request.version, 16);
    line += ' ';
    line += std::to_string(status);
    line += ' ';
    line += std::to_string(bytes);
    if (!note.empty()) {
        line += ' ';
        line += logField(note, 200, true);
    }
    line += '\n';
    if (line.size() >= 65536) flushLog();
    if (metrics_) countAnswer(request, status, bytes, note);
}

// Lines about the server itself (no request, no refusal) are not answers; the hub counts
// what they report where it happens.
void UpdateService::countAnswer(const Screening& request, int status, uint64_t bytes,
                                const std::string& note) {
    if (request.status != 0) {
        metrics_->countResponse(status);
        metrics_->countRefusal(refusalOf(status, note));
    } else if (!request.target.empty()) {
        metrics_->countResponse(status);
        if (!request.exchange) metrics_->countFileBytes(bytes);
    }
}

void UpdateService::flushLog() {
    if (t_log.empty()) return;
    std::lock_guard<std::mutex> lock(logMutex_);
    size_t written = 0;
    while (written < t_log.size()) {
        const ssize_t n = write(STDERR_FILENO, t_log.data() + written, t_log.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        written += static_cast<size_t>(n);
    }
    t_log.clear();
}

}  // namespace vaultaide::tools
