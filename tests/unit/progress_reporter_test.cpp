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
    ProgressReporter reporter(view);
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

}  // namespace
}  // namespace vaultaide
