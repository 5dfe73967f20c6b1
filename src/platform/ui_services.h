#pragma once
// User-interface services the steps call directly.
#include <string>

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

class UiServices {
public:
    virtual ~UiServices() = default;
    // Registers the common control classes.
    virtual void initCommonControls() = 0;
    // A message box without owner window; returns the button pressed.
    virtual int messageBox(const std::string& text, const std::string& caption, unsigned style) = 0;
};

}  // namespace vaultaide
