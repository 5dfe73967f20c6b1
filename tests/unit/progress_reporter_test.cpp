// Every progress event as the progress dialog shows it: controls, texts and order.
#include "ui/progress_reporter.h"

#include <gtest/gtest.h>

#include <functional>

#include "fakes/recording_progress_view.h"
#include "ui/progress_changes.h"

namespace vaultaide {
namespace {

using Lines = std::vector<std::string>;

TEST(ProgressReporter, EachEventShowsItsTextsInOrder) {
    struct Case {
        std::function<void(ProgressEvents&)> event;
        Lines shown;
    };
    const Case cases[] = {
        {[](ProgressEvents& p) { p.status("创建桌面快捷方式"); },
         {"text 1020 创建桌面快捷方式", "refresh 1020"}},
        {[](ProgressEvents& p) { p.downloading("配置文件"); },
         {"text 1020 正在下载 配置文件", "refresh 1020"}},
        {[](ProgressEvents& p) { p.installing("vcredist_x86.exe"); },
         {"text 1020 正在安装 vcredist_x86.exe", "refresh 1020"}},
        {[](ProgressEvents& p) { p.unitsCounted(11); },
         {"bar 1022 range32 0 11", "bar 1022 pos 0 0"}},
        {[](ProgressEvents& p) { p.pendingCounted(3); },
         {"bar 1022 range 0 196608", "bar 1022 pos 0 0"}},
        {[](ProgressEvents& p) { p.fileStarted("Data\\a.dll", 2, 3); },
         {"text 1020 正在下载 Data\\a.dll   2/3", "refresh 1020", "text 1023 0%", "refresh 1023"}},
        {[](ProgressEvents& p) { p.bytes(4096, 16384); },
         {"bar 1021 range32 0 16384", "bar 1021 pos 4096 0", "text 1023 25.00%", "refresh 1023"}},
        {[](ProgressEvents& p) { p.bytes(10, 0); },
         {"bar 1021 range32 0 0", "bar 1021 pos 10 0", "text 1023 0.00%", "refresh 1023"}},
        {[](ProgressEvents& p) { p.unitDone(1, 11); },
         {"text 1024 9.09%", "refresh 1024", "bar 1022 pos 1 0"}},
        {[](ProgressEvents& p) { p.downloadFailed("a.dll", DownloadKind::Package); },
         {"text 1020 下载a.dll 失败", "refresh 1020", "text 2 下载失败"}},
        {[](ProgressEvents& p) { p.downloadFailed("vcredist_x64.exe", DownloadKind::Runtime); },
         {"text 1020 下载vcredist_x64.exe 失败", "refresh 1020", "text 2 下载VS库失败"}},
        {[](ProgressEvents& p) { p.nothingToUpdate(); },
         {"bar 1021 range32 0 1", "bar 1021 pos 1 0", "bar 1022 range32 0 1", "bar 1022 pos 1 0",
          "text 1020 无需更新", "refresh 1020", "text 1023 100%", "refresh 1023", "text 1024 100%",
          "refresh 1024"}},
        {[](ProgressEvents& p) { p.finished(); }, {"text 2 下载完成"}},
    };
    for (const Case& c : cases) {
        fakes::RecordingProgressView view;
        ProgressReporter reporter(view);
        c.event(reporter);
        EXPECT_EQ(view.log, c.shown) << ::testing::PrintToString(c.shown);
    }
}

// What reaches the dialog when reports that change nothing are skipped: every change, in order.
TEST(ProgressReporter, ReportsThatChangeNothingAreSkipped) {
    struct ChangedOnly : ProgressView {
        fakes::RecordingProgressView shown;
        ProgressChanges changes;
        void setControlText(int id, const std::string& text) override {
            if (changes.textChanges(id, text)) shown.setControlText(id, text);
        }
        void refreshControl(int id) override {
            if (changes.refreshNeeded(id)) shown.refreshControl(id);
        }
        void sendBarMessage(int id, BarMessage message, intptr_t wParam, intptr_t lParam) override {
            if (changes.barChanges(id, message, wParam, lParam))
                shown.sendBarMessage(id, message, wParam, lParam);
        }
    } view;
    uint64_t now = 0;  // reports far apart: none is held back
    ProgressReporter reporter(view, [&] { return now += 1000; });
    reporter.pendingCounted(2);
    reporter.unitsCounted(2);  // the same range and position once more
    reporter.fileStarted("a.dll", 1, 2);
    reporter.bytes(1, 1000000);
    reporter.bytes(2, 1000000);  // still 0.00%
    reporter.bytes(500000, 1000000);
    reporter.unitDone(1, 2);
    reporter.fileStarted("b.dll", 2, 2);
    reporter.bytes(500000, 500000);  // a new range: the same position goes again
    reporter.status("正在下载 b.dll   2/2");
    reporter.downloadFailed("b.dll", DownloadKind::Package);
    reporter.downloadFailed("b.dll", DownloadKind::Package);
    EXPECT_EQ(view.shown.log, (Lines{"bar 1022 range 0 131072",
                                     "bar 1022 pos 0 0",
                                     "text 1020 正在下载 a.dll   1/2",
                                     "refresh 1020",
                                     "text 1023 0%",
                                     "refresh 1023",
                                     "bar 1021 range32 0 1000000",
                                     "bar 1021 pos 1 0",
                                     "text 1023 0.00%",
                                     "refresh 1023",
                                     "bar 1021 pos 2 0",
                                     "bar 1021 pos 500000 0",
                                     "text 1023 50.00%",
                                     "refresh 1023",
                                     "text 1024 50.00%",
                                     "refresh 1024",
                                     "bar 1022 pos 1 0",
                                     "text 1020 正在下载 b.dll   2/2",
                                     "refresh 1020",
                                     "text 1023 0%",
                                     "refresh 1023",
                                     "bar 1021 range32 0 500000",
                                     "bar 1021 pos 500000 0",
                                     "text 1023 100.00%",
                                     "refresh 1023",
                                     "text 1020 下载b.dll 失败",
                                     "refresh 1020",
                                     "text 2 下载失败"}));
}

// Transfer reports reach the dialog at most every 33 ms; the first and the complete one of each
// transfer at once, and one held back before the next event.
TEST(ProgressReporter, TransferReportsReachTheDialogAtMostThirtyTimesASecond) {
    struct Step {
        uint64_t at;  // ms; a report of done bytes of total, or an event when total is 0
        uint64_t done, total;
    };
    const Step steps[] = {
        {0, 10, 100},    // first: shown
        {10, 20, 100},   // held
        {20, 30, 100},   // held, replacing 20
        {40, 40, 100},   // 40 ms after the last shown: shown
        {50, 50, 100},   // held
        {60, 0, 0},      // the next file starts: 50 is shown first
        {61, 5, 100},    // a new transfer: shown
        {62, 100, 100},  // complete: shown
        {63, 7, 200},    // another length (a retry or another file): shown
        {64, 8, 200},    // held
        {65, 9, 200},    // held; shown before the failure
        {66, 0, 0},
    };
    fakes::RecordingProgressView view;
    uint64_t now = 0;
    ProgressReporter reporter(view, [&] { return now; });
    for (const Step& step : steps) {
        now = step.at;
        if (step.total)
            reporter.bytes(step.done, step.total);
        else if (step.at == 60)
            reporter.fileStarted("b.dll", 2, 2);
        else
            reporter.downloadFailed("b.dll", DownloadKind::Package);
    }
    Lines positions;
    for (const std::string& line : view.log)
        if (line.rfind("bar 1021 pos ", 0) == 0 || line.rfind("text 1020 ", 0) == 0)
            positions.push_back(line);
    EXPECT_EQ(positions,
              (Lines{"bar 1021 pos 10 0", "bar 1021 pos 40 0", "bar 1021 pos 50 0",
                     "text 1020 正在下载 b.dll   2/2", "bar 1021 pos 5 0", "bar 1021 pos 100 0",
                     "bar 1021 pos 7 0", "bar 1021 pos 9 0", "text 1020 下载b.dll 失败"}));
}

}  // namespace
}  // namespace vaultaide
