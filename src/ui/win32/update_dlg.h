#pragma once
// The update prompt: variant 0 offers a newer version, any other variant a reinstallation; the
// question is part of the picture.
#include "ui/win32/skinned_dialog.h"

namespace vaultaide {

class CUpdateDlg : public SkinnedDialog {
public:
    CUpdateDlg(DialogContext& context, int variant)
        : SkinnedDialog(context, DialogKind::UpdatePrompt), variant_(variant) {}

private:
    BOOL onInitDialog() override;
    bool onCommand(int id, int notification) override;

    const int variant_;
};

}  // namespace vaultaide
