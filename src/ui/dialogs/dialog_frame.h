#pragma once
// What the five dialogs share: their templates, pictures, placement and position memory.
#include <cstdint>

#include "app/app_state.h"

namespace vaultaide {

enum class DialogKind { VersionQuery, Welcome, Options, Progress, UpdatePrompt };

enum class Placement {
    Default,          // the framework's default: centred on the screen by the window
    AtLastWindow,     // at the left/top of lastWindowRect
    CentredByWindow,  // centred on the screen, measured by the window rectangle
    CentredByClient,  // centred on the screen, measured by the client rectangle
};

constexpr int kAboutStringId = 101;
constexpr int kAboutCommandId = 16;

struct FrameTraits {
    int templateId;
    Placement placement;
    bool recordsOnMove;   // WM_MOVE as well as WM_MOVING updates lastWindowRect
    bool asksBeforeQuit;  // Cancel, close box and Escape bring the quit confirmation
};

// progressMode matters for the progress dialog only.
FrameTraits frameTraits(DialogKind kind, int progressMode = 0);

// The dialog's (first) background picture; variant selects the update prompt's.
int32_t backgroundId(DialogKind kind, const AppState& state, int variant = 0);
// The progress dialog's picture after a timer tick, given the toggle before it; flips it.
int32_t swapProgressBackground(int32_t& toggle, const AppState& state);

struct ScreenPoint {
    int32_t x = 0;
    int32_t y = 0;
};

// Where the dialog opens. measuredWidth and measuredHeight are those of the rectangle the rule
// measures.
ScreenPoint placementPosition(Placement rule, const WindowRect& last, int32_t screenWidth,
                              int32_t screenHeight, int32_t measuredWidth, int32_t measuredHeight);

// Stores a moved dialog's window rectangle; a minimised window's far-off position is not
// kept, so the next dialog never opens off screen.
void rememberWindowRect(AppState& state, const WindowRect& rect, bool minimised);

}  // namespace vaultaide
