#pragma once
// HTTP over libcurl for native builds, with the exchange's observable behaviour: HTTP/1.0, the
// caller's user agent, headers in order and time-outs, no certificate checks, and downloads
// streamed to a file beside the target.
#include <functional>
#include <string>

#include "platform/http.h"

namespace vaultaide {

class CurlTransport : public HttpTransport {
public:
    // hostPath maps a Windows path to the host file that stands for it.
    explicit CurlTransport(std::function<std::string(const std::string&)> hostPath);
    std::unique_ptr<HttpClient> openClient(const HttpSettings& settings) override;
    int downloadOnce(const std::string& url, const std::string& path, const HttpSettings& settings,
                     DownloadSink* sink) override;
    // There is no URL cache to bypass here.
    void removeFromCache(const std::string&) override {}

private:
    std::function<std::string(const std::string&)> hostPath_;
};

// True for URLs whose scheme is http or https (case ignored).
bool isHttpUrl(const std::string& url);

}  // namespace vaultaide
