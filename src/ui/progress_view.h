#pragma once
// The progress dialog as the steps see it: its labels, bars and Cancel button by control id.
// Every operation is synchronous: it is carried out by the dialog's thread while the caller
// waits, so the order of calls is the order on screen.
#include <cstdint>
#include <functional>
#include <string>

namespace vaultaide {

enum ProgressControl : int {
    kCancelButton = 2,
    kStatusLabel = 1020,
    kCurrentBar = 1021,
    kOverallBar = 1022,
    kCurrentPercentLabel = 1023,
    kOverallPercentLabel = 1024,
};

// The progress bar messages the steps send.
enum class BarMessage { SetRange, SetRange32, SetPos };

class ProgressView {
public:
    virtual ~ProgressView() = default;
    virtual void setControlText(int controlId, const std::string& text) = 0;
    // Repaints the picture behind a control, so a label's old text does not remain.
    virtual void refreshControl(int controlId) = 0;
    virtual void sendBarMessage(int controlId, BarMessage message, intptr_t wParam,
                                intptr_t lParam) = 0;
    // Carries out the operations that reports makes as one: the dialog's thread runs them in
    // their order while the caller waits once, instead of once for each.
    virtual void together(const std::function<void()>& reports) { reports(); }
};

}  // namespace vaultaide
