#pragma once
// The download progress sink: shows a transfer on the current-file bar and its percentage.
#include "platform/http.h"
#include "ui/progress_events.h"

namespace vaultaide {

class CBindCallback : public DownloadSink {
public:
    explicit CBindCallback(ProgressEvents& owner) : owner_(owner) {}
    long OnProgress(unsigned long progress, unsigned long progressMax, unsigned long /*status*/,
                    const char* /*statusText*/) {
        owner_.bytes(progress, progressMax);
        return 0;
    }
    void onProgress(uint64_t progress, uint64_t progressMax) override {
        OnProgress(static_cast<unsigned long>(progress), static_cast<unsigned long>(progressMax), 0,
                   nullptr);
    }

private:
    ProgressEvents& owner_;
};

}  // namespace vaultaide
