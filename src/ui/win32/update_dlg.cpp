#include "ui/win32/update_dlg.h"

#include "app/browser_question.h"
#include "ui/win32/progress_dlg.h"

namespace vaultaide {

BOOL CUpdateDlg::onInitDialog() {
    setUpFrame();
    loadBackground(backgroundId(kind_, context_.state, variant_));
    place();
    return TRUE;
}

bool CUpdateDlg::onCommand(int id, int) {
    if (id != IDOK) return false;
    const AskFunction owned = [this](const std::string& text, const std::string& caption,
                                     unsigned style) { return ask(text, caption, style); };
    if (!closeBrowserWithConsent(context_.platform.processes, context_.state.assistantName, owned))
        return true;
    ShowWindow(window_, SW_HIDE);
    CProgressDlg progress(context_, 1);
    progress.runModal();
    releaseBackground();
    EndDialog(window_, IDCANCEL);
    return true;
}

}  // namespace vaultaide
