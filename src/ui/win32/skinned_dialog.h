#pragma once
// The frame every dialog shares: modal loop, picture background, icon and caption, the
// system-menu entry, top-most placement, position memory, the suite's broadcast message,
// transparent labels and the quit confirmation.
#include <windows.h>

#include <functional>
#include <string>

#include "ui/dialogs/dialog_frame.h"
#include "ui/win32/dialog_context.h"

namespace vaultaide {

class SkinnedDialog {
public:
    SkinnedDialog(DialogContext& context, DialogKind kind, int progressMode = 0);
    virtual ~SkinnedDialog();
    SkinnedDialog(const SkinnedDialog&) = delete;
    SkinnedDialog& operator=(const SkinnedDialog&) = delete;

    // Runs the dialog modally on the calling thread; its end result.
    INT_PTR runModal();
    // Carries work out on the dialog's thread while the caller waits: the one way a worker
    // thread touches the dialog. Does nothing once the window is gone.
    void runOnDialogThread(const std::function<void()>& work);

protected:
    // Set-up after the frame's own; returns TRUE.
    virtual BOOL onInitDialog() = 0;
    // Commands other than Cancel (2); true when handled.
    virtual bool onCommand(int id, int notification);
    // Cancel, the close box and Escape: the quit confirmation or, for dialogs without one,
    // the end of the dialog.
    virtual void onCancel();
    // Messages a dialog handles besides the frame's; true with result when handled.
    virtual bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);
    // Labels drawn over the picture without a background of their own.
    virtual bool hasTransparentLabel(int controlId) const;

    // The frame's set-up steps.
    void setUpFrame();  // system-menu entry, big and small icon, caption
    void loadBackground(int32_t id);
    void releaseBackground();
    // Top-most and shown at the dialog's placement; the version query is only centred.
    void place();
    // Invalidates the dialog under a control and repaints it at once.
    void refreshControl(int controlId);
    void showControl(int controlId, int command);
    // A message box owned by the dialog.
    int ask(const std::string& text, const std::string& caption, unsigned style);
    void quitConfirmation();

    DialogContext& context_;
    const DialogKind kind_;
    const FrameTraits traits_;
    HWND window_ = nullptr;

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void paint();
    void releaseScaledBackground();
    void rememberPosition(const WindowRect& rect);

    HBITMAP background_ = nullptr;
    HBITMAP scaled_ = nullptr;  // background_ stretched to scaledSize_
    SIZE scaledSize_ = {};
    HICON icon_ = nullptr;
};

// Starts a thread running work and closes its handle at once; nobody waits for it.
void startDetachedThread(std::function<void()> work);

}  // namespace vaultaide
