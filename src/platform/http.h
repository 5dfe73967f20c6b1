#pragma once
// HTTP GET for server answers and file downloads. Certificates are not checked and the URL
// cache is bypassed, by design of the exchange.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vaultaide {

// Results of one exchange or one download attempt.
constexpr int kHttpOk = 0;
constexpr int kHttpFailed = 1;
constexpr int kHttpTimeout = 2;

// Server answers are small; a larger body fails the exchange.
constexpr size_t kMaxAnswerBytes = 64u * 1024;

// What the caller asks of every request of an exchange or download.
struct HttpSettings {
    std::string userAgent;
    std::vector<std::string> headers;  // added to each request unless already present
    uint32_t timeoutMs = 0;            // connect, send and receive; 0 keeps the system's own
    uint64_t maxBytes = 0;  // downloads: a longer announced body fails unread; 0 for any length
};

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
    // GET with HTTP/1.0 and the client's settings; on kHttpOk answer holds the body whatever
    // the status; otherwise answer is unchanged. A body over kMaxAnswerBytes fails.
    virtual int get(const std::string& url, std::string& answer) = 0;
};

class HttpTransport {
public:
    virtual ~HttpTransport() = default;
    virtual std::unique_ptr<HttpClient> openClient(const HttpSettings& settings) = 0;
    // One download attempt to a Windows path, which the caller keeps for staging (the target is
    // moved into place by the caller once accepted). Status 200 with a body as long as its
    // Content-Length writes the file (kHttpOk); a short body or a file that cannot be written
    // fails (kHttpFailed) and leaves no file; any other status completes without writing
    // (kHttpOk, no file).
    virtual int downloadOnce(const std::string& url, const std::string& path,
                             const HttpSettings& settings, DownloadSink* sink) = 0;
    virtual void removeFromCache(const std::string& url) = 0;
};

}  // namespace vaultaide
