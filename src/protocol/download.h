#pragma once
// File downloads: up to five attempts, and the progress sink that shows a transfer on the
// progress dialog.
#include <string>

#include "platform/http.h"

namespace vaultaide {

class Files;
class ProgressView;

constexpr int kDownloadAttempts = 5;

// True when an attempt completed and a file now exists at path.
bool downloadFile(HttpTransport& http, Files& files, const std::string& url,
                  const std::string& path, DownloadSink* sink);

// Shows a transfer on the current-file bar and its percentage label.
class CBindCallback : public DownloadSink {
public:
    explicit CBindCallback(ProgressView* owner) : owner_(owner) {}
    long OnProgress(unsigned long progress, unsigned long progressMax, unsigned long statusCode,
                    const char* statusText);
    void onProgress(uint64_t progress, uint64_t progressMax) override {
        OnProgress(static_cast<unsigned long>(progress), static_cast<unsigned long>(progressMax), 0,
                   nullptr);
    }

private:
    ProgressView* owner_;
};

}  // namespace vaultaide
