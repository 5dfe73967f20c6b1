// Every progress event as the progress dialog shows it: controls, texts and order.
#include "ui/progress_reporter.h"

#include <gtest/gtest.h>

#include <functional>

#include "fakes/recording_progress_view.h"

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

}  // namespace
}  // namespace vaultaide
