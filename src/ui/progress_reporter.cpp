#include "ui/progress_reporter.h"

#include <cstdio>

#include "ui/progress_reporting.h"

namespace vaultaide {

void ProgressReporter::status(const std::string& text) {
    flushBytes();
    setStatusText(view_, text);
}

void ProgressReporter::downloading(const std::string& name) {
    flushBytes();
    transferShown_ = false;
    setStatusText(view_, "正在下载 " + name);
}

void ProgressReporter::installing(const std::string& name) {
    flushBytes();
    setStatusText(view_, "正在安装 " + name);
}

void ProgressReporter::unitsCounted(int32_t unitsTotal) {
    flushBytes();
    setOverallRange32(view_, 0, unitsTotal);
    setOverallPos(view_, 0);
}

void ProgressReporter::pendingCounted(int32_t count) {
    flushBytes();
    setOverallRange16(view_, 0, static_cast<uint16_t>(count));
    setOverallPos(view_, 0);
}

void ProgressReporter::fileStarted(const std::string& name, int32_t k, int32_t m) {
    flushBytes();
    transferShown_ = false;
    char counts[32];
    std::snprintf(counts, sizeof counts, "   %d/%d", k, m);
    setStatusText(view_, "正在下载 " + name + counts);
    setCurrentPercent(view_, "0%");
}

void ProgressReporter::bytes(uint64_t done, uint64_t total) {
    // A new transfer (another length, or a retry starting again) or a complete one shows at once.
    const bool first = !transferShown_ || total != shownTotal_ || done <= shownDone_;
    const bool complete = total != 0 && done >= total;
    if (first || complete || clock_() - shownAt_ >= kTransferReportIntervalMs) {
        held_ = false;
        showBytes(done, total);
        return;
    }
    held_ = true;
    heldDone_ = done;
    heldTotal_ = total;
}

void ProgressReporter::flushBytes() {
    if (!held_) return;
    held_ = false;
    showBytes(heldDone_, heldTotal_);
}

void ProgressReporter::showBytes(uint64_t done, uint64_t total) {
    transferShown_ = true;
    shownAt_ = clock_();
    shownDone_ = done;
    shownTotal_ = total;
    // One wait on the dialog for all three.
    view_.together([&] {
        setCurrentRange(view_, 0, static_cast<int32_t>(total));
        setCurrentPos(view_, static_cast<int32_t>(done));
        // Without an announced length there is no share to show: 0.00%.
        setCurrentPercent(
            view_, formatPercent(percentOf(static_cast<double>(done), static_cast<double>(total))));
    });
}

void ProgressReporter::unitDone(int32_t done, int32_t total) {
    flushBytes();
    setOverallPercent(view_, formatPercent(shareInPercent(done, total)));
    setOverallPos(view_, done);
}

void ProgressReporter::downloadFailed(const std::string& name, DownloadKind kind) {
    flushBytes();
    setStatusText(view_, "下载" + name + " 失败");
    setCancelCaption(view_, kind == DownloadKind::Runtime ? "下载VS库失败" : "下载失败");
}

void ProgressReporter::nothingToUpdate() {
    flushBytes();
    setCurrentRange(view_, 0, 1);
    setCurrentPos(view_, 1);
    setOverallRange32(view_, 0, 1);
    setOverallPos(view_, 1);
    setStatusText(view_, "无需更新");
    setCurrentPercent(view_, "100%");
    setOverallPercent(view_, "100%");
}

void ProgressReporter::finished() {
    flushBytes();
    setCancelCaption(view_, "下载完成");
}

}  // namespace vaultaide
