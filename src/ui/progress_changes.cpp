#include "ui/progress_changes.h"

namespace vaultaide {

bool ProgressChanges::textChanges(int controlId, const std::string& text) {
    const auto known = texts_.find(controlId);
    const bool changes = known == texts_.end() || known->second != text;
    if (changes) texts_[controlId] = text;
    textUnchanged_[controlId] = !changes;
    return changes;
}

bool ProgressChanges::refreshNeeded(int controlId) const {
    const auto unchanged = textUnchanged_.find(controlId);
    return unchanged == textUnchanged_.end() || !unchanged->second;
}

bool ProgressChanges::barChanges(int controlId, BarMessage message, intptr_t wParam,
                                 intptr_t lParam) {
    Bar& bar = bars_[controlId];
    if (message == BarMessage::SetPos) {
        if (bar.hasPosition && bar.position == wParam) return false;
        bar.hasPosition = true;
        bar.position = wParam;
        return true;
    }
    // Both range messages set the same range: 16-bit bounds in lParam's words, or 32-bit ones.
    const intptr_t low = message == BarMessage::SetRange ? (lParam & 0xffff) : wParam;
    const intptr_t high = message == BarMessage::SetRange ? ((lParam >> 16) & 0xffff) : lParam;
    if (bar.hasRange && bar.low == low && bar.high == high) return false;
    bar.hasRange = true;
    bar.low = low;
    bar.high = high;
    // A new range may move the position into it: the next position is sent whatever it is.
    bar.hasPosition = false;
    return true;
}

}  // namespace vaultaide
