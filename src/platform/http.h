#pragma once
// HTTP GET for server answers and file downloads. Certificates are not checked and the URL
// cache is bypassed, by design of the exchange.
#include <cstdint>
#include <memory>
#include <string>

namespace vaultaide {

// Results of one exchange or one download attempt.
constexpr int kHttpOk = 0;
constexpr int kHttpFailed = 1;
constexpr int kHttpTimeout = 2;

// Receives the progress of one transfer: bytes so far and the announced length.
class DownloadSink {
public:
    virtual ~DownloadSink() = default;
    virtual void onProgress(uint64_t progress, uint64_t progressMax) = 0;
};

// One client for the exchanges of one server request (one session, one connection each).
class HttpClient {
public:
    virtual ~HttpClient() = default;
    // GET with HTTP/1.0, the fixed user agent and headers, three-second time-outs; on kHttpOk
    // answer holds the body whatever the status; otherwise answer is unchanged.
    virtual int get(const std::string& url, std::string& answer) = 0;
};

class HttpTransport {
public:
    virtual ~HttpTransport() = default;
    virtual std::unique_ptr<HttpClient> openClient() = 0;
    // One download attempt to a Windows path. Status 200 with a body as long as its
    // Content-Length replaces the file (kHttpOk); a short body or a file that cannot be
    // written fails (kHttpFailed) and leaves any older file as it was; any other status
    // completes without writing (kHttpOk).
    virtual int downloadOnce(const std::string& url, const std::string& path,
                             DownloadSink* sink) = 0;
    virtual void removeFromCache(const std::string& url) = 0;
};

}  // namespace vaultaide
