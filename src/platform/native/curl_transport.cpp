#include "platform/native/curl_transport.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <memory>

#include "platform/download_rate.h"

namespace vaultaide {

namespace {

struct CurlGlobal {
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlGlobal() { curl_global_cleanup(); }
};

void ensureCurl() { static CurlGlobal global; }

using Easy = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;
using Headers = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

Easy newEasy(const std::string& url) {
    ensureCurl();
    Easy easy(curl_easy_init(), curl_easy_cleanup);
    curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
    curl_easy_setopt(easy.get(), CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(easy.get(), CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(easy.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_PROXY, "");
    return easy;
}

int resultOf(CURLcode code) {
    if (code == CURLE_OK) return kHttpOk;
    return code == CURLE_OPERATION_TIMEDOUT ? kHttpTimeout : kHttpFailed;
}

// Stops the transfer (a write error) once the answer outgrows what a server sends.
size_t appendBody(char* data, size_t size, size_t count, void* target) {
    auto& body = *static_cast<std::string*>(target);
    if (body.size() + size * count > kMaxAnswerBytes) return 0;
    body.append(data, size * count);
    return size * count;
}

// The agent, headers and time-outs of the settings. Without a time-out of their own, a minute
// to connect and half a minute without data stand for the system's defaults.
void applySettings(CURL* easy, const HttpSettings& settings, Headers& headers) {
    for (const auto& header : settings.headers)
        headers.reset(curl_slist_append(headers.release(), header.c_str()));
    curl_easy_setopt(easy, CURLOPT_USERAGENT, settings.userAgent.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.get());
    const long timeoutMs = settings.timeoutMs ? long(settings.timeoutMs) : 60000L;
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
    // The receive time-out: a connection that carries no data for that long.
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME,
                     settings.timeoutMs ? long(settings.timeoutMs / 1000) : 30L);
}

class CurlClient : public HttpClient {
public:
    explicit CurlClient(const HttpSettings& settings) : settings_(settings) {}
    int get(const std::string& url, std::string& answer) override {
        if (!isHttpUrl(url)) return kHttpFailed;
        Easy easy = newEasy(url);
        Headers headers(nullptr, curl_slist_free_all);
        applySettings(easy.get(), settings_, headers);
        std::string body;
        curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, appendBody);
        curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &body);
        const CURLcode code = curl_easy_perform(easy.get());
        const int result = code == CURLE_WRITE_ERROR ? kHttpFailed : resultOf(code);
        if (result == kHttpOk) answer.swap(body);
        return result;
    }

private:
    HttpSettings settings_;
};

uint32_t steadyMs() {
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

struct DownloadState {
    CURL* easy = nullptr;
    std::string path;
    FILE* file = nullptr;
    bool checked = false;
    bool accepted = false;  // status 200
    bool writeFailed = false;
    uint64_t received = 0;
    uint64_t expected = 0;
    uint64_t maxBytes = 0;  // 0: any length
    DownloadSink* sink = nullptr;
    DownloadRateFloor floor{steadyMs()};
};

void readStatus(DownloadState& state) {
    if (state.checked) return;
    state.checked = true;
    long status = 0;
    curl_easy_getinfo(state.easy, CURLINFO_RESPONSE_CODE, &status);
    curl_off_t length = -1;
    curl_easy_getinfo(state.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    state.expected = length > 0 ? static_cast<uint64_t>(length) : 0;
    state.accepted = status == 200;
    if (state.accepted && state.maxBytes != 0 && state.expected > state.maxBytes) {
        state.writeFailed = true;  // announced as longer than allowed: nothing is read
    } else if (state.accepted) {
        state.file = std::fopen(state.path.c_str(), "wb");
        state.writeFailed = state.file == nullptr;
    }
}

size_t writeDownload(char* data, size_t size, size_t count, void* target) {
    auto& state = *static_cast<DownloadState*>(target);
    readStatus(state);
    // Another status: nothing is read or written.
    if (!state.accepted || state.writeFailed) return 0;
    const size_t bytes = size * count;
    if (!state.floor.keepsUp(steadyMs(), bytes)) {
        state.writeFailed = true;
        return 0;
    }
    // Progress is reported per piece of at most 4096 bytes, however the data arrived. More
    // than was announced can never be accepted: the transfer stops before it fills the disk.
    for (size_t done = 0; done < bytes;) {
        const size_t piece = std::min<size_t>(4096, bytes - done);
        state.received += piece;
        if (state.sink) state.sink->onProgress(state.received, state.expected);
        if (state.received > state.expected ||
            std::fwrite(data + done, 1, piece, state.file) != piece) {
            state.writeFailed = true;
            return 0;
        }
        done += piece;
    }
    return bytes;
}

}  // namespace

bool isHttpUrl(const std::string& url) {
    auto colon = url.find("://");
    if (colon == std::string::npos) return false;
    std::string scheme = url.substr(0, colon);
    for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return scheme == "http" || scheme == "https";
}

CurlTransport::CurlTransport(std::function<std::string(const std::string&)> hostPath)
    : hostPath_(std::move(hostPath)) {}

std::unique_ptr<HttpClient> CurlTransport::openClient(const HttpSettings& settings) {
    return std::make_unique<CurlClient>(settings);
}

int CurlTransport::downloadOnce(const std::string& url, const std::string& path,
                                const HttpSettings& settings, DownloadSink* sink) {
    if (!isHttpUrl(url)) return kHttpFailed;
    const std::string target = hostPath_(path);
    Easy easy = newEasy(url);
    DownloadState state;
    state.easy = easy.get();
    state.path = target;
    state.maxBytes = settings.maxBytes;
    state.sink = sink;
    Headers headers(nullptr, curl_slist_free_all);
    applySettings(easy.get(), settings, headers);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, writeDownload);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &state);
    const CURLcode code = curl_easy_perform(easy.get());
    if (code == CURLE_OK) readStatus(state);  // an empty body calls no write
    if (state.file) std::fclose(state.file);

    int result;
    if (!state.accepted && (code == CURLE_OK || code == CURLE_WRITE_ERROR) && state.checked)
        result = kHttpOk;
    else if (code != CURLE_OK)
        result = state.writeFailed ? kHttpFailed : resultOf(code);
    else if (state.writeFailed || state.received != state.expected)
        result = kHttpFailed;
    else
        result = kHttpOk;
    // A failed attempt leaves no file behind.
    if (state.accepted && result != kHttpOk) std::remove(state.path.c_str());
    return result;
}

}  // namespace vaultaide
