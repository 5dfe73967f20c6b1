#pragma once
// The dialogs start-up and the version check open, as Win32 modal dialogs.
#include "app/startup.h"
#include "ui/win32/dialog_context.h"

namespace vaultaide {

class Win32StartupUi : public StartupUi {
public:
    explicit Win32StartupUi(DialogContext& context) : context_(context) {}
    void runVersionQueryDialog() override;
    void runUpdatePrompt(int variant) override;
    void runProgressDialog(int mode) override;

private:
    DialogContext& context_;
};

}  // namespace vaultaide
