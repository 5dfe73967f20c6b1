#include "ui/win32/progress_dlg.h"

#include <commctrl.h>

#include "install/install_sequence.h"
#include "install/update_handoff.h"
#include "ui/dialog_texts.h"

namespace vaultaide {

namespace {

constexpr UINT_PTR kBackgroundTimer = 1;
constexpr UINT kBackgroundPeriodMs = 4000;

UINT barMessageOf(BarMessage message) {
    switch (message) {
        case BarMessage::SetRange:
            return PBM_SETRANGE;
        case BarMessage::SetRange32:
            return PBM_SETRANGE32;
        case BarMessage::SetPos:
            break;
    }
    return PBM_SETPOS;
}

}  // namespace

BOOL CProgressDlg::onInitDialog() {
    AppState& state = context_.state;
    setUpFrame();
    currentBar_.attach(GetDlgItem(window_, kCurrentBar));
    overallBar_.attach(GetDlgItem(window_, kOverallBar));
    auto* job = new InstallJob(this, state.channelCode, mode_, state.downloadUrl, state.updateMode,
                               state.serverVersion, state.installPath, state.bankCode,
                               context_.platform.registry);
    forcedUpdateHandoff(context_.platform, state, *job, [this] { ShowWindow(window_, SW_HIDE); });
    job_ = job;
    backgroundToggle_ = 0;
    SetDlgItemTextA(window_, kOverallPercentLabel, "0%");
    loadBackground(backgroundId(kind_, state));
    state.progressDialog = this;
    startDetachedThread([this] {
        if (work_) {
            delete job_;  // the install sequence's, which does not run
            job_ = nullptr;
            return work_(*this);
        }
        InstallRun run{context_.platform, context_.state, job_, *this, workerFinished_, control_};
        runInstallSequence(run);
    });
    SetTimer(window_, kBackgroundTimer, kBackgroundPeriodMs, nullptr);
    place();
    return TRUE;
}

bool CProgressDlg::onMessage(UINT message, WPARAM, LPARAM, INT_PTR& result) {
    if (message != WM_TIMER) return false;
    loadBackground(swapProgressBackground(backgroundToggle_, context_.state));
    InvalidateRect(window_, nullptr, TRUE);
    UpdateWindow(window_);
    result = FALSE;
    return true;
}

void CProgressDlg::onCancel() {
    using Step = RunControl::CancelStep;
    Step step = control_.cancelPressed();
    if (step == Step::Ask) {
        if (ask(kCancelRunQuestion, context_.state.promptCaption, MB_YESNO) != IDYES) return;
        step = control_.cancelConfirmed();
    }
    // The run may be in the middle of a step that reports to this dialog: the process ends
    // here, as the callers would end it, before the worker can reach a closed window. Nothing
    // installed is half replaced at this point.
    if (step == Step::EndProcess) context_.platform.kernel.exitProcess(0);
    if (step == Step::Hide) {
        // The finished run still reports to this dialog until it ends the process.
        ShowWindow(window_, SW_HIDE);
        return;
    }
    if (step != Step::Close) return;  // the worker puts the replaced files back and ends
    KillTimer(window_, kBackgroundTimer);
    releaseBackground();
    context_.state.progressDialog = nullptr;
    EndDialog(window_, IDCANCEL);
}

bool CProgressDlg::hasTransparentLabel(int controlId) const {
    return controlId == kStatusLabel || controlId == kCurrentPercentLabel ||
           controlId == kOverallPercentLabel || controlId == -1;
}

void CProgressDlg::setControlText(int controlId, const std::string& text) {
    if (!changes_.textChanges(controlId, text)) return;
    runOnDialogThread([&] { SetDlgItemTextA(window_, controlId, text.c_str()); });
}

void CProgressDlg::refreshControl(int controlId) {
    if (!changes_.refreshNeeded(controlId)) return;
    runOnDialogThread([&] { SkinnedDialog::refreshControl(controlId); });
}

void CProgressDlg::sendBarMessage(int controlId, BarMessage message, intptr_t wParam,
                                  intptr_t lParam) {
    if (!changes_.barChanges(controlId, message, wParam, lParam)) return;
    runOnDialogThread([&] {
        SendDlgItemMessageA(window_, controlId, barMessageOf(message), static_cast<WPARAM>(wParam),
                            static_cast<LPARAM>(lParam));
    });
}

void CProgressDlg::together(const std::function<void()>& reports) {
    // On the dialog's thread each operation's own message is a direct call.
    runOnDialogThread(reports);
}

}  // namespace vaultaide
