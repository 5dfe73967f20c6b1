#include "ui/win32/get_internet_dlg.h"

#include "app/version_query.h"
#include "ui/dialog_texts.h"
#include "ui/win32/install_dlg.h"

namespace vaultaide {

namespace {

constexpr int kStatusLabelId = 1029;
constexpr int kRetryButtonId = 1030;

}  // namespace

BOOL CGetInternetDlg::onInitDialog() {
    setUpFrame();
    showControl(kRetryButtonId, SW_HIDE);
    retriesLeft_ = 2;
    loadBackground(backgroundId(kind_, context_.state));
    startDetachedThread([this] { queryVersionWorker(); });
    place();
    return TRUE;
}

bool CGetInternetDlg::onCommand(int id, int) {
    if (id != kRetryButtonId) return false;
    // Disabled at once, so a quick second click cannot start a second attempt; the attempt
    // hides the button and shows it enabled again when it fails with retries left.
    EnableWindow(GetDlgItem(window_, kRetryButtonId), FALSE);
    --retriesLeft_;
    startDetachedThread([this] { queryVersionWorker(); });
    return true;
}

bool CGetInternetDlg::hasTransparentLabel(int controlId) const {
    return controlId == kStatusLabelId;
}

void CGetInternetDlg::setStatus(const char* text) {
    SetDlgItemTextA(window_, kStatusLabelId, text);
    refreshControl(kStatusLabelId);
}

void CGetInternetDlg::queryVersionWorker() {
    runOnDialogThread([this] {
        showControl(kRetryButtonId, SW_HIDE);
        setStatus(kQueryingText);
    });
    switch (
        queryServerVersion(context_.platform, context_.keys, context_.endpoint, context_.state)) {
        case VersionQueryOutcome::NoAnswer:
            runOnDialogThread([this] {
                if (retriesLeft_ != 0) {
                    EnableWindow(GetDlgItem(window_, kRetryButtonId), TRUE);
                    showControl(kRetryButtonId, SW_SHOWNORMAL);
                } else {
                    showControl(kRetryButtonId, SW_HIDE);
                }
                setStatus(kNoAnswerText);
            });
            return;
        case VersionQueryOutcome::Unusable:
            return;
        case VersionQueryOutcome::Answered:
            break;
    }
    context_.platform.kernel.sleepMs(500);
    runOnDialogThread([this] { ShowWindow(window_, SW_HIDE); });
    CInstallDlg wizard(context_);
    wizard.runModal();
    runOnDialogThread([this] { EndDialog(window_, 0); });
}

}  // namespace vaultaide
