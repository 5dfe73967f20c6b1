#include "ui/progress_reporter.h"

#include <cstdio>

#include "ui/progress_reporting.h"

namespace vaultaide {

void ProgressReporter::status(const std::string& text) { setStatusText(view_, text); }

void ProgressReporter::downloading(const std::string& name) {
    setStatusText(view_, "正在下载 " + name);
}

void ProgressReporter::installing(const std::string& name) {
    setStatusText(view_, "正在安装 " + name);
}

void ProgressReporter::unitsCounted(int32_t unitsTotal) {
    setOverallRange32(view_, 0, unitsTotal);
    setOverallPos(view_, 0);
}

void ProgressReporter::pendingCounted(int32_t count) {
    setOverallRange16(view_, 0, static_cast<uint16_t>(count));
    setOverallPos(view_, 0);
}

void ProgressReporter::fileStarted(const std::string& name, int32_t k, int32_t m) {
    char counts[32];
    std::snprintf(counts, sizeof counts, "   %d/%d", k, m);
    setStatusText(view_, "正在下载 " + name + counts);
    setCurrentPercent(view_, "0%");
}

void ProgressReporter::bytes(uint64_t done, uint64_t total) {
    // Sent after every piece a transfer reads: one wait on the dialog for all three.
    view_.together([&] {
        setCurrentRange(view_, 0, static_cast<int32_t>(total));
        setCurrentPos(view_, static_cast<int32_t>(done));
        // Without an announced length there is no share to show: 0.00%.
        setCurrentPercent(
            view_, formatPercent(percentOf(static_cast<double>(done), static_cast<double>(total))));
    });
}

void ProgressReporter::unitDone(int32_t done, int32_t total) {
    setOverallPercent(view_, formatPercent(shareInPercent(done, total)));
    setOverallPos(view_, done);
}

void ProgressReporter::downloadFailed(const std::string& name, DownloadKind kind) {
    setStatusText(view_, "下载" + name + " 失败");
    setCancelCaption(view_, kind == DownloadKind::Runtime ? "下载VS库失败" : "下载失败");
}

void ProgressReporter::nothingToUpdate() {
    setCurrentRange(view_, 0, 1);
    setCurrentPos(view_, 1);
    setOverallRange32(view_, 0, 1);
    setOverallPos(view_, 1);
    setStatusText(view_, "无需更新");
    setCurrentPercent(view_, "100%");
    setOverallPercent(view_, "100%");
}

void ProgressReporter::finished() { setCancelCaption(view_, "下载完成"); }

}  // namespace vaultaide
