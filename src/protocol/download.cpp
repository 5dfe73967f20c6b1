#include "protocol/download.h"

#include "platform/files.h"
#include "ui/progress_reporting.h"

namespace vaultaide {

bool downloadFile(HttpTransport& http, Files& files, const std::string& url,
                  const std::string& path, DownloadSink* sink) {
    for (int attempt = 0; attempt < kDownloadAttempts; ++attempt) {
        http.removeFromCache(url);
        if (http.downloadOnce(url, path, sink) == kHttpOk && files.exists(path)) return true;
    }
    return false;
}

long CBindCallback::OnProgress(unsigned long progress, unsigned long progressMax, unsigned long,
                               const char*) {
    if (!owner_) return 0;
    setCurrentRange(*owner_, 0, static_cast<int32_t>(progressMax));
    setCurrentPos(*owner_, static_cast<int32_t>(progress));
    // Without an announced length there is no share to show: 0.00%.
    setCurrentPercent(*owner_, formatPercent(percentOf(progress, progressMax)));
    return 0;
}

}  // namespace vaultaide
