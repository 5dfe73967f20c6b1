#include "protocol/download.h"

#include "platform/files.h"
#include "protocol/http_settings.h"

namespace vaultaide {

bool downloadFile(HttpTransport& http, Files& files, const std::string& url,
                  const std::string& path, DownloadSink* sink) {
    for (int attempt = 0; attempt < kDownloadAttempts; ++attempt) {
        http.removeFromCache(url);
        if (http.downloadOnce(url, path, downloadSettings(), sink) == kHttpOk && files.exists(path))
            return true;
    }
    return false;
}

}  // namespace vaultaide
