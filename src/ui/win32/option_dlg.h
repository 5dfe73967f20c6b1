#pragma once
// The wizard's options page: shortcuts, target folder, then the installation.
#include "ui/win32/skinned_dialog.h"

namespace vaultaide {

class COptionDlg : public SkinnedDialog {
public:
    explicit COptionDlg(DialogContext& context) : SkinnedDialog(context, DialogKind::Options) {}

private:
    BOOL onInitDialog() override;
    bool onCommand(int id, int notification) override;
    void browse();
    void next();
    std::string folderText() const;
};

}  // namespace vaultaide
