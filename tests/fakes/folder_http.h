#pragma once
// An HTTP transport serving a host folder: a URL's path names a file below the folder, whatever
// its scheme and host. A missing file answers like status 404 (complete, nothing written).
#include <functional>
#include <string>
#include <vector>

#include "platform/http.h"

namespace vaultaide::fakes {

class FolderHttp : public HttpTransport {
public:
    // hostPath maps a Windows path to the host file that stands for it.
    FolderHttp(std::string folder, std::function<std::string(const std::string&)> hostPath)
        : folder_(std::move(folder)), hostPath_(std::move(hostPath)) {}

    std::unique_ptr<HttpClient> openClient(const HttpSettings&) override { return nullptr; }
    int downloadOnce(const std::string& url, const std::string& path, const HttpSettings& settings,
                     DownloadSink* sink) override;
    void removeFromCache(const std::string&) override {}

    std::vector<std::string> urls;       // every download attempt, in order
    std::vector<HttpSettings> settings;  // the settings of each attempt

private:
    std::string folder_;
    std::function<std::string(const std::string&)> hostPath_;
};

}  // namespace vaultaide::fakes
