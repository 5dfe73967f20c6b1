#include "protocol/download.h"

#include "base/gbk_text.h"
#include "platform/files.h"
#include "protocol/http_settings.h"

namespace vaultaide {

namespace {

enum class Attempt { Fetched, NotFetched, Failed };

// One attempt into the staging file: Fetched when a 200 answer was written whole.
Attempt fetchStaged(HttpTransport& http, Files& files, const std::string& url,
                    const std::string& staged, DownloadSink* sink, const HttpSettings& settings) {
    http.removeFromCache(url);
    if (files.exists(staged)) files.deleteFile(staged);
    if (http.downloadOnce(url, staged, settings, sink) != kHttpOk) return Attempt::Failed;
    return files.exists(staged) ? Attempt::Fetched : Attempt::NotFetched;
}

}  // namespace

std::string stagingPathOf(const std::string& target) {
    const size_t slash = findLastBackslash(target);
    return slash == std::string::npos ? kStagingName : target.substr(0, slash + 1) + kStagingName;
}

bool downloadAccepted(HttpTransport& http, Files& files, const std::string& url,
                      const std::string& target, DownloadSink* sink,
                      const std::function<bool(const std::string& staged)>& accept,
                      uint64_t maxBytes) {
    const std::string staged = stagingPathOf(target);
    HttpSettings settings = downloadSettings();
    settings.maxBytes = maxBytes;
    for (int attempt = 0; attempt < kDownloadAttempts; ++attempt) {
        if (fetchStaged(http, files, url, staged, sink, settings) == Attempt::Fetched &&
            accept(staged) && files.moveFile(staged, target, true))
            return true;
    }
    if (files.exists(staged)) files.deleteFile(staged);
    return false;
}

bool downloadFile(HttpTransport& http, Files& files, const std::string& url,
                  const std::string& path, DownloadSink* sink, uint64_t maxBytes) {
    const std::string staged = stagingPathOf(path);
    HttpSettings settings = downloadSettings();
    settings.maxBytes = maxBytes;
    for (int attempt = 0; attempt < kDownloadAttempts; ++attempt) {
        const Attempt result = fetchStaged(http, files, url, staged, sink, settings);
        if (result == Attempt::Fetched && files.moveFile(staged, path, true)) return true;
        if (result == Attempt::NotFetched && files.exists(path)) return true;
    }
    if (files.exists(staged)) files.deleteFile(staged);
    return false;
}

}  // namespace vaultaide
