#pragma once
// The wizard's welcome page: "安装" leads to the options page.
#include "ui/win32/skinned_dialog.h"

namespace vaultaide {

class CInstallDlg : public SkinnedDialog {
public:
    explicit CInstallDlg(DialogContext& context) : SkinnedDialog(context, DialogKind::Welcome) {}

private:
    BOOL onInitDialog() override;
    bool onCommand(int id, int notification) override;
};

}  // namespace vaultaide
