#pragma once
// Which reports to the progress dialog change what it shows. A download reports after every
// piece it reads, and each report is a synchronous message to the dialog's thread; a text or a
// bar value equal to the one the control already holds from the last report changes nothing,
// so the sender can skip it (and the repaint behind an unchanged label) without crossing.
// Used by the one thread that reports to a dialog.
#include <cstdint>
#include <map>
#include <string>

#include "ui/progress_view.h"

namespace vaultaide {

class ProgressChanges {
public:
    // Each records what it passes as the control's new state.
    bool textChanges(int controlId, const std::string& text);
    // False when the control's last text report changed nothing.
    bool refreshNeeded(int controlId) const;
    bool barChanges(int controlId, BarMessage message, intptr_t wParam, intptr_t lParam);

private:
    struct Bar {
        bool hasRange = false, hasPosition = false;
        intptr_t low = 0, high = 0, position = 0;
    };
    std::map<int, std::string> texts_;
    std::map<int, bool> textUnchanged_;
    std::map<int, Bar> bars_;
};

}  // namespace vaultaide
