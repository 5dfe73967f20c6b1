#include "platform/win32/win32_platform.h"

#include <commctrl.h>

namespace vaultaide {

void Win32UiServices::initCommonControls() {
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);
}

int Win32UiServices::messageBox(const std::string& text, const std::string& caption,
                                unsigned style) {
    return MessageBoxA(nullptr, text.c_str(), caption.c_str(), style);
}

}  // namespace vaultaide
