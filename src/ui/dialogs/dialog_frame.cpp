#include "ui/dialogs/dialog_frame.h"

namespace vaultaide {

FrameTraits frameTraits(DialogKind kind, int progressMode) {
    switch (kind) {
        case DialogKind::VersionQuery:
            return {130, Placement::Default, true, true};
        case DialogKind::Welcome:
            return {132, Placement::AtLastWindow, false, true};
        case DialogKind::Options:
            return {134, Placement::AtLastWindow, false, true};
        case DialogKind::Progress:
            return {135, progressMode == 0 ? Placement::AtLastWindow : Placement::CentredByClient,
                    false, false};
        case DialogKind::UpdatePrompt:
            break;
    }
    return {139, Placement::CentredByWindow, true, false};
}

int32_t backgroundId(DialogKind kind, const AppState& state, int variant) {
    switch (kind) {
        case DialogKind::VersionQuery:
            return state.queryBackgroundId;
        case DialogKind::Welcome:
            return state.welcomeBackgroundId;
        case DialogKind::Options:
            return state.optionsBackgroundId;
        case DialogKind::Progress:
            return state.progressBackgroundId;
        case DialogKind::UpdatePrompt:
            break;
    }
    return variant == 0 ? state.updateBackgroundId : state.reinstallBackgroundId;
}

int32_t swapProgressBackground(int32_t& toggle, const AppState& state) {
    toggle = toggle == 0 ? 1 : 0;
    return toggle == 1 ? state.progressBackgroundAltId : state.progressBackgroundId;
}

ScreenPoint placementPosition(Placement rule, const WindowRect& last, int32_t screenWidth,
                              int32_t screenHeight, int32_t measuredWidth, int32_t measuredHeight) {
    if (rule == Placement::AtLastWindow) return {last.left, last.top};
    return {screenWidth / 2 - measuredWidth / 2, screenHeight / 2 - measuredHeight / 2};
}

void rememberWindowRect(AppState& state, const WindowRect& rect, bool minimised) {
    if (!minimised) state.lastWindowRect = rect;
}

}  // namespace vaultaide
