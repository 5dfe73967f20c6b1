#pragma once
// The first installation's first window: asks the server for the version on a worker thread,
// with up to two retries, then runs the install wizard on that thread.
#include <cstdint>

#include "ui/win32/skinned_dialog.h"

namespace vaultaide {

class CGetInternetDlg : public SkinnedDialog {
public:
    explicit CGetInternetDlg(DialogContext& context)
        : SkinnedDialog(context, DialogKind::VersionQuery) {}

private:
    BOOL onInitDialog() override;
    bool onCommand(int id, int notification) override;
    bool hasTransparentLabel(int controlId) const override;
    // One attempt on its own thread; the successful one runs the wizard.
    void queryVersionWorker();
    void setStatus(const char* text);

    int32_t retriesLeft_ = 0;
};

}  // namespace vaultaide
