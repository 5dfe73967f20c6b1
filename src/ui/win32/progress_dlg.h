#pragma once
// The window in front of every installation, update and repair: it makes the run's job,
// starts the install sequence on a worker thread and shows what the steps report.
#include <atomic>
#include <cstdint>
#include <functional>

#include "install/run_control.h"
#include "packages/install_job.h"
#include "ui/progress_changes.h"
#include "ui/progress_view.h"
#include "ui/win32/my_progress.h"
#include "ui/win32/skinned_dialog.h"

namespace vaultaide {

class CProgressDlg : public SkinnedDialog, public ProgressView {
public:
    // What the worker thread runs in place of the install sequence (a benchmark's download).
    using Work = std::function<void(CProgressDlg& dialog)>;

    // mode: 0 fresh installation, 1 update, 2 repair.
    CProgressDlg(DialogContext& context, int mode, Work work = {})
        : SkinnedDialog(context, DialogKind::Progress, mode), mode_(mode), work_(std::move(work)) {}

    // The steps' view of the dialog, for the one thread that reports to it. A report that
    // changes nothing the dialog shows is not sent.
    void setControlText(int controlId, const std::string& text) override;
    void refreshControl(int controlId) override;
    void sendBarMessage(int controlId, BarMessage message, intptr_t wParam,
                        intptr_t lParam) override;
    void together(const std::function<void()>& reports) override;

private:
    BOOL onInitDialog() override;
    void onCancel() override;
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    bool hasTransparentLabel(int controlId) const override;

    const int mode_;
    const Work work_;
    std::atomic<int32_t> workerFinished_{0};
    RunControl control_;
    int32_t backgroundToggle_ = 0;
    InstallJob* job_ = nullptr;
    CMyProgress currentBar_;
    CMyProgress overallBar_;
    ProgressChanges changes_;  // what the worker's reports left on the controls
};

}  // namespace vaultaide
