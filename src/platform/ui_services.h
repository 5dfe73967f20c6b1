#pragma once
// User-interface services the steps call directly.
#include <cstdint>
#include <string>
#include <vector>

namespace vaultaide {

// Message box styles and answers, with the platform's values.
constexpr unsigned kMbOk = 0x0;
constexpr unsigned kMbYesNo = 0x4;
constexpr unsigned kMbIconError = 0x10;
constexpr unsigned kMbIconQuestion = 0x20;
constexpr unsigned kMbIconWarning = 0x30;
constexpr unsigned kMbIconInformation = 0x40;
constexpr int kIdOk = 1;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// A top-level window as the window manager stacks it.
struct StackedWindow {
    uintptr_t handle = 0;
    bool ownProcess = false;
    bool visible = false;
    bool topMost = false;
};

// The window a message box belongs to, given the top-level windows from the front: the
// front-most visible top-most window of this process (an open dialog), so that the box opens
// above it instead of behind it; 0 when none is up.
inline uintptr_t messageBoxOwner(const std::vector<StackedWindow>& frontToBack) {
    for (const StackedWindow& window : frontToBack)
        if (window.ownProcess && window.visible && window.topMost) return window.handle;
    return 0;
}

class UiServices {
public:
    virtual ~UiServices() = default;
    // Registers the common control classes.
    virtual void initCommonControls() = 0;
    // A message box, owned by the program's top-most dialog while one is up (messageBoxOwner)
    // and otherwise without owner window; returns the button pressed.
    virtual int messageBox(const std::string& text, const std::string& caption, unsigned style) = 0;
};

}  // namespace vaultaide
