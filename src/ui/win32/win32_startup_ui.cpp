#include "ui/win32/win32_startup_ui.h"

#include "ui/win32/get_internet_dlg.h"
#include "ui/win32/progress_dlg.h"
#include "ui/win32/update_dlg.h"

namespace vaultaide {

void Win32StartupUi::runVersionQueryDialog() {
    CGetInternetDlg dialog(context_);
    dialog.runModal();
}

void Win32StartupUi::runUpdatePrompt(int variant) {
    CUpdateDlg dialog(context_, variant);
    dialog.runModal();
}

void Win32StartupUi::runProgressDialog(int mode) {
    CProgressDlg dialog(context_, mode);
    dialog.runModal();
}

}  // namespace vaultaide
