#pragma once
// File downloads: up to five attempts, each past the URL cache.
#include <string>

#include "platform/http.h"

namespace vaultaide {

class Files;

constexpr int kDownloadAttempts = 5;

// True when an attempt completed and a file now exists at path.
bool downloadFile(HttpTransport& http, Files& files, const std::string& url,
                  const std::string& path, DownloadSink* sink);

}  // namespace vaultaide
