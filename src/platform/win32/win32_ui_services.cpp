#include "platform/win32/win32_platform.h"

#include <commctrl.h>

namespace vaultaide {

void Win32UiServices::initCommonControls() {
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);
}

namespace {

BOOL CALLBACK collectWindow(HWND window, LPARAM list) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    StackedWindow stacked;
    stacked.handle = reinterpret_cast<uintptr_t>(window);
    stacked.ownProcess = processId == GetCurrentProcessId();
    stacked.visible = IsWindowVisible(window) != FALSE;
    stacked.topMost = (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    reinterpret_cast<std::vector<StackedWindow>*>(list)->push_back(stacked);
    return TRUE;
}

}  // namespace

int Win32UiServices::messageBox(const std::string& text, const std::string& caption,
                                unsigned style) {
    // The top-level windows, front to back.
    std::vector<StackedWindow> windows;
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&windows));
    const auto owner = reinterpret_cast<HWND>(messageBoxOwner(windows));
    return MessageBoxA(owner, text.c_str(), caption.c_str(), style);
}

}  // namespace vaultaide
