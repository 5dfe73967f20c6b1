// The program's download as a user waits for it, under Wine: downloadFile with the download
// progress sink reporting to a real progress dialog (its template, owner-drawn bars, labels
// and pictures), on the dialog's worker thread as in an installation. Prints the seconds the
// download took, how often the sink was called, how many dialog operations the reports asked
// for, how many of those changed the dialog, how often the download crossed to the dialog's
// thread and how long it spent on texts, repaints and bar messages, and on whole reports
// (one crossing each). With "silent", the same download without a sink.
//   download_dialog URL PATH [silent]
#include <windows.h>

#include <cstdio>

#include "app/bank_profile.h"
#include "platform/win32/win32_platform.h"
#include "protocol/download.h"
#include "ui/bind_callback.h"
#include "ui/progress_changes.h"
#include "ui/progress_reporter.h"
#include "ui/win32/progress_dlg.h"

namespace {

using namespace vaultaide;

class CountingSink : public DownloadSink {
public:
    explicit CountingSink(DownloadSink& inner) : inner_(inner) {}
    void onProgress(uint64_t progress, uint64_t progressMax) override {
        ++calls;
        inner_.onProgress(progress, progressMax);
    }
    long calls = 0;

private:
    DownloadSink& inner_;
};

double secondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) / frequency.QuadPart;
}

// Passes every operation on to the dialog, counting what was asked, what changes anything, and
// the seconds the sender waited on each kind of operation.
class CountingView : public ProgressView {
public:
    explicit CountingView(ProgressView& dialog) : dialog_(dialog) {}
    void setControlText(int id, const std::string& text) override {
        timed(changes_.textChanges(id, text), textSeconds,
              [&] { dialog_.setControlText(id, text); });
    }
    void refreshControl(int id) override {
        timed(changes_.refreshNeeded(id), refreshSeconds, [&] { dialog_.refreshControl(id); });
    }
    void sendBarMessage(int id, BarMessage message, intptr_t wParam, intptr_t lParam) override {
        timed(changes_.barChanges(id, message, wParam, lParam), barSeconds,
              [&] { dialog_.sendBarMessage(id, message, wParam, lParam); });
    }
    void together(const std::function<void()>& reports) override {
        ++crossings;
        inside_ = true;
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        dialog_.together(reports);
        togetherSeconds += secondsSince(start);
        inside_ = false;
    }
    long asked = 0, changing = 0, crossings = 0;
    double textSeconds = 0, refreshSeconds = 0, barSeconds = 0, togetherSeconds = 0;

private:
    template <typename Operation>
    void timed(bool changes, double& seconds, Operation operation) {
        ++asked;
        if (changes) ++changing;
        if (changes && !inside_) ++crossings;
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        operation();
        seconds += secondsSince(start);
    }
    ProgressView& dialog_;
    ProgressChanges changes_;
    bool inside_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && !(argc == 4 && std::string(argv[3]) == "silent")) {
        std::fprintf(stderr, "usage: download_dialog URL PATH [silent]\n");
        return 2;
    }
    const std::string url = argv[1], path = argv[2];
    const bool silent = argc == 4;
    Platform& platform = win32Platform();
    platform.ui.initCommonControls();
    AppState state;
    DownloadPath endpoint;
    applyBankProfile(state, endpoint);
    const EnvelopeKeyPair noKeys;
    const uint32_t noBroadcast = 0;
    DialogContext context{platform, state, noKeys, endpoint, noBroadcast};
    CProgressDlg dialog(context, 0, [&](CProgressDlg& shown) {
        CountingView view(shown);
        ProgressReporter reporter(view);
        CBindCallback callback(reporter);
        CountingSink sink(callback);
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        const bool done =
            downloadFile(platform.http, platform.files, url, path, silent ? nullptr : &sink);
        const double seconds = secondsSince(start);
        std::printf(
            "seconds %.3f sink-calls %ld operations %ld changing %ld crossings %ld; waited on "
            "texts %.3f repaints %.3f bars %.3f, on whole reports %.3f; %s\n",
            seconds, sink.calls, view.asked, view.changing, view.crossings, view.textSeconds,
            view.refreshSeconds, view.barSeconds, view.togetherSeconds,
            done ? "downloaded" : "failed");
        std::fflush(stdout);
        ExitProcess(done ? 0 : 1);
    });
    dialog.runModal();
    return 1;
}
