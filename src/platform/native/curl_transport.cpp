#include "platform/native/curl_transport.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>

#include "protocol/http_settings.h"

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

size_t appendBody(char* data, size_t size, size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

class CurlClient : public HttpClient {
public:
    int get(const std::string& url, std::string& answer) override {
        if (!isHttpUrl(url)) return kHttpFailed;
        Easy easy = newEasy(url);
        Headers headers(nullptr, curl_slist_free_all);
        for (const char* header : kRequestHeaders)
            headers.reset(curl_slist_append(headers.release(), header));
        std::string body;
        curl_easy_setopt(easy.get(), CURLOPT_USERAGENT, kServerUserAgent);
        curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, headers.get());
        curl_easy_setopt(easy.get(), CURLOPT_CONNECTTIMEOUT_MS, long(kServerTimeoutMs));
        // The receive time-out: a connection that carries no data for three seconds.
        curl_easy_setopt(easy.get(), CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(easy.get(), CURLOPT_LOW_SPEED_TIME, long(kServerTimeoutMs / 1000));
        curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, appendBody);
        curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &body);
        const int result = resultOf(curl_easy_perform(easy.get()));
        if (result == kHttpOk) answer.swap(body);
        return result;
    }
};

struct DownloadState {
    CURL* easy = nullptr;
    std::string partPath;
    FILE* file = nullptr;
    bool checked = false;
    bool accepted = false;  // status 200
    bool writeFailed = false;
    uint64_t received = 0;
    uint64_t expected = 0;
    DownloadSink* sink = nullptr;
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
    if (state.accepted) {
        state.file = std::fopen(state.partPath.c_str(), "wb");
        state.writeFailed = state.file == nullptr;
    }
}

size_t writeDownload(char* data, size_t size, size_t count, void* target) {
    auto& state = *static_cast<DownloadState*>(target);
    readStatus(state);
    // Another status: nothing is read or written.
    if (!state.accepted || state.writeFailed) return 0;
    const size_t bytes = size * count;
    if (std::fwrite(data, 1, bytes, state.file) != bytes) {
        state.writeFailed = true;
        return 0;
    }
    // Progress is reported per piece of at most 4096 bytes, however the data arrived.
    for (size_t done = 0; done < bytes;) {
        const size_t piece = std::min<size_t>(4096, bytes - done);
        done += piece;
        state.received += piece;
        if (state.sink) state.sink->onProgress(state.received, state.expected);
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

std::unique_ptr<HttpClient> CurlTransport::openClient() { return std::make_unique<CurlClient>(); }

int CurlTransport::downloadOnce(const std::string& url, const std::string& path,
                                DownloadSink* sink) {
    if (!isHttpUrl(url)) return kHttpFailed;
    const std::string target = hostPath_(path);
    Easy easy = newEasy(url);
    DownloadState state;
    state.easy = easy.get();
    state.partPath = target + kPartialSuffix;
    state.sink = sink;
    curl_easy_setopt(easy.get(), CURLOPT_USERAGENT, kDownloadUserAgent);
    curl_easy_setopt(easy.get(), CURLOPT_CONNECTTIMEOUT_MS, 60000L);
    curl_easy_setopt(easy.get(), CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_LOW_SPEED_TIME, 30L);
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
        result = std::rename(state.partPath.c_str(), target.c_str()) == 0 ? kHttpOk : kHttpFailed;
    if (state.accepted) std::remove(state.partPath.c_str());
    return result;
}

}  // namespace vaultaide
