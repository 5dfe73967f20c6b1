#include "ui/win32/install_dlg.h"

#include "ui/win32/option_dlg.h"

namespace vaultaide {

BOOL CInstallDlg::onInitDialog() {
    setUpFrame();
    loadBackground(backgroundId(kind_, context_.state));
    place();
    return TRUE;
}

bool CInstallDlg::onCommand(int id, int) {
    if (id != IDOK) return false;
    ShowWindow(window_, SW_HIDE);
    COptionDlg options(context_);
    options.runModal();
    releaseBackground();
    EndDialog(window_, IDCANCEL);
    return true;
}

}  // namespace vaultaide
