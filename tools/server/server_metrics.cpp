#include "server_metrics.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "process_stats.h"

namespace vaultaide::tools {

namespace {

constexpr const char* kRefusalLabels[kRefusalKinds] = {
    "method",         "body",         "head_too_large",   "too_many_headers",
    "ranges",         "head_timeout", "connection_limit", "slow_client",
    "transfer_limit", "bad_request",  "target_too_long",  "other"};

// Statuses that always have a series, so that rates over them exist before the first one.
constexpr int kUsualStatuses[] = {200, 206, 400, 404, 405, 408, 413, 416, 431, 503};

void header(std::string& out, const char* name, const char* type, const char* help) {
    out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

// Label values come from the checked configuration or from fixed texts; escaped all the same,
// as the format asks.
std::string labelValue(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '\\' || c == '"') escaped += '\\';
        escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return escaped;
}

void sample(std::string& out, const std::string& name, const std::string& labels, double value) {
    char number[64];
    std::snprintf(number, sizeof number, "%.15g", value);
    out += name;
    if (!labels.empty()) out += "{" + labels + "}";
    out += " ";
    out += number;
    out += "\n";
}

uint64_t read(const std::atomic<uint64_t>& counter) {
    return counter.load(std::memory_order_relaxed);
}

std::string hexCode(size_t slot) {
    char text[8];
    std::snprintf(text, sizeof text, "%zx", slot);
    return text;
}

struct AcceptQueue {
    uint32_t waiting = 0, limit = 0;
};

// For a listening socket the kernel reports its accept queue in two fields of tcp_info.
AcceptQueue acceptQueueOf(int listener) {
    tcp_info info{};
    socklen_t length = sizeof info;
    if (listener < 0 || getsockopt(listener, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) return {};
    return {info.tcpi_unacked, info.tcpi_sacked};
}

}  // namespace

Refusal refusalOf(int status, const std::string& reason) {
    switch (status) {
        case 405:
            return Refusal::Method;
        case 413:
            return Refusal::Body;
        case 414:
            return Refusal::TargetTooLong;
        case 416:
            return Refusal::Ranges;
        case 408:
            return Refusal::HeadTimeout;
        case 431:
            return reason.find("header fields") != std::string::npos ? Refusal::TooManyHeaders
                                                                     : Refusal::HeadTooLarge;
        case 400:
            return Refusal::BadRequest;
        case 503:
            return reason.find("connection limit") != std::string::npos ? Refusal::ConnectionLimit
                   : reason.find("transfer limit") != std::string::npos ? Refusal::TransferLimit
                                                                        : Refusal::Other;
        default:
            return Refusal::Other;
    }
}

ServerMetrics::ServerMetrics() : config_(std::make_shared<ReleaseConfig>()) {}

void ServerMetrics::countVersionRequest(VersionResult result, const std::string& bank) {
    if (result == VersionResult::BadEnvelope) {
        add(badEnvelope_, 1);
        return;
    }
    if (result == VersionResult::UnknownBank) {
        add(unknownBank_, 1);
        return;
    }
    // An answered bank is a configured one, "0" to "fff"; the check keeps the table's bounds.
    const long code = std::strtol(bank.c_str(), nullptr, 16);
    if (!bank.empty() && bank.size() <= 3 && code >= 0 && code < static_cast<long>(kBankCodes))
        add(answered_[static_cast<size_t>(code)], 1);
}

void ServerMetrics::observeVersionAnswer(std::chrono::steady_clock::duration took) {
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(took).count();
    const double seconds = static_cast<double>(nanoseconds) / 1e9;
    size_t bucket = 0;
    while (bucket < kBuckets.size() && seconds > kBuckets[bucket]) ++bucket;
    add(answerBuckets_[bucket], 1);
    add(answerNanoseconds_, nanoseconds > 0 ? static_cast<uint64_t>(nanoseconds) : 0);
}

void ServerMetrics::countResponse(int status) {
    if (status >= 100 && status < static_cast<int>(kStatusCodes))
        add(responses_[static_cast<size_t>(status)], 1);
}

void ServerMetrics::countRefusal(Refusal reason) { add(refusals_[static_cast<size_t>(reason)], 1); }

void ServerMetrics::configLoaded(std::shared_ptr<const ReleaseConfig> config) {
    std::atomic_store(&config_, std::move(config));
    loadedAt_.store(static_cast<int64_t>(std::time(nullptr)));
    if (loadedOnce_) add(reloadsOk_, 1);
    loadedOnce_ = true;
}

void ServerMetrics::connectionTurnedAway(bool answered) {
    countRefusal(Refusal::ConnectionLimit);
    if (answered) countResponse(503);
    lastTurnedAway_.store(steadyNow(), std::memory_order_relaxed);
}

std::string ServerMetrics::unhealthyReason() const {
    if (stopping_.load()) return "stopping";
    const int64_t turnedAway = lastTurnedAway_.load(std::memory_order_relaxed);
    const auto since = std::chrono::steady_clock::duration(steadyNow() - turnedAway);
    if (turnedAway != 0 && since < std::chrono::seconds(1)) return "connection limit reached";
    const AcceptQueue queue = acceptQueueOf(listener_);
    if (queue.limit > 0 && queue.waiting >= queue.limit) return "accept queue full";
    return "";
}

std::string ServerMetrics::exposition() const {
    const auto config = std::atomic_load(&config_);
    std::string out;
    out.reserve(8192);
    appendVersionFigures(out, *config);
    appendServerFigures(out);
    appendConfigFigures(out, *config);
    out += processExposition();
    return out;
}

void ServerMetrics::appendVersionFigures(std::string& out, const ReleaseConfig& config) const {
    const char* requests = "vaultaide_version_requests_total";
    header(out, requests, "counter",
           "Version requests by bank (configured codes, else other) and result.");
    for (size_t slot = 0; slot < kBankCodes; ++slot) {
        const uint64_t count = read(answered_[slot]);
        // Configured banks from the start; a bank dropped by a reload keeps what it had.
        const std::string bank = hexCode(slot);
        if (count > 0 || config.banks.count(bank))
            sample(out, requests, "bank=\"" + bank + "\",result=\"answered\"",
                   static_cast<double>(count));
    }
    sample(out, requests, "bank=\"other\",result=\"unknown_bank\"",
           static_cast<double>(read(unknownBank_)));
    sample(out, requests, "result=\"bad_envelope\"", static_cast<double>(read(badEnvelope_)));

    const char* answer = "vaultaide_version_answer_seconds";
    header(out, answer, "histogram",
           "Time from a version request's complete head to its answer's last byte written.");
    uint64_t cumulative = 0;
    for (size_t i = 0; i <= kBuckets.size(); ++i) {
        cumulative += read(answerBuckets_[i]);
        char bound[32] = "+Inf";
        if (i < kBuckets.size()) std::snprintf(bound, sizeof bound, "%g", kBuckets[i]);
        sample(out, std::string(answer) + "_bucket", std::string("le=\"") + bound + "\"",
               static_cast<double>(cumulative));
    }
    sample(out, std::string(answer) + "_sum", "",
           static_cast<double>(read(answerNanoseconds_)) / 1e9);
    sample(out, std::string(answer) + "_count", "", static_cast<double>(cumulative));
}

void ServerMetrics::appendServerFigures(std::string& out) const {
    const char* responses = "vaultaide_responses_total";
    header(out, responses, "counter", "Responses by HTTP status, refusals included.");
    for (size_t status = 100; status < kStatusCodes; ++status) {
        bool usual = false;
        for (int code : kUsualStatuses) usual = usual || code == static_cast<int>(status);
        const uint64_t count = read(responses_[status]);
        if (count > 0 || usual)
            sample(out, responses, "code=\"" + std::to_string(status) + "\"",
                   static_cast<double>(count));
    }
    const char* refusals = "vaultaide_refusals_total";
    header(out, refusals, "counter", "Requests and connections turned away, by reason.");
    for (size_t i = 0; i < kRefusalKinds; ++i)
        sample(out, refusals, std::string("reason=\"") + kRefusalLabels[i] + "\"",
               static_cast<double>(read(refusals_[i])));

    header(out, "vaultaide_file_bytes_sent_total", "counter",
           "Bytes of release files written to clients.");
    sample(out, "vaultaide_file_bytes_sent_total", "", static_cast<double>(read(fileBytes_)));
    header(out, "vaultaide_file_transfers_cut_total", "counter",
           "File transfers that ended before their last byte.");
    sample(out, "vaultaide_file_transfers_cut_total", "", static_cast<double>(read(transfersCut_)));
    header(out, "vaultaide_connections_open", "gauge", "Client connections open now.");
    sample(out, "vaultaide_connections_open", "",
           static_cast<double>(open_.load(std::memory_order_relaxed)));
    header(out, "vaultaide_connections_accepted_total", "counter",
           "Client connections accepted, those turned away at the limit included.");
    sample(out, "vaultaide_connections_accepted_total", "", static_cast<double>(read(accepted_)));
    header(out, "vaultaide_queue_depth", "gauge",
           "Connections waiting to be taken: pool accept, the listening socket's backlog.");
    sample(out, "vaultaide_queue_depth", "pool=\"accept\"",
           static_cast<double>(acceptQueueOf(listener_).waiting));
}

void ServerMetrics::appendConfigFigures(std::string& out, const ReleaseConfig& config) const {
    const char* reloads = "vaultaide_config_reloads_total";
    header(out, reloads, "counter", "Configuration reloads (SIGHUP) by result.");
    sample(out, reloads, "result=\"ok\"", static_cast<double>(read(reloadsOk_)));
    sample(out, reloads, "result=\"failed\"", static_cast<double>(read(reloadsFailed_)));
    header(out, "vaultaide_config_loaded_timestamp_seconds", "gauge",
           "When the configuration in force was read, in seconds since the epoch.");
    sample(out, "vaultaide_config_loaded_timestamp_seconds", "",
           static_cast<double>(loadedAt_.load()));
    header(out, "vaultaide_release_info", "gauge",
           "The release each configured bank is given; always 1.");
    for (const auto& [bank, release] : config.banks)
        sample(out, "vaultaide_release_info",
               "bank=\"" + labelValue(bank) + "\",version=\"" + labelValue(release.version) +
                   "\",update=\"" + labelValue(release.update) + "\"",
               1);
}

}  // namespace vaultaide::tools
