#include "install/run_control.h"

namespace vaultaide {

RunControl::CancelStep RunControl::cancelPressed() const {
    switch (phase_.load()) {
        case Working:
        case Replacing:
            return CancelStep::Ask;
        case Succeeded:
            return CancelStep::Hide;
        case Stopped:
            return CancelStep::Close;
        default:
            return CancelStep::Ignore;
    }
}

RunControl::CancelStep RunControl::cancelConfirmed() {
    if (advance(Working, Abandoned)) return CancelStep::EndProcess;
    if (advance(Replacing, UndoAsked)) return CancelStep::Ignore;
    // The run moved on while the question was open.
    const CancelStep now = cancelPressed();
    return now == CancelStep::Ask ? CancelStep::Ignore : now;
}

bool RunControl::beginReplacement() { return advance(Working, Replacing); }

bool RunControl::undoRequested() const { return phase_.load() == UndoAsked; }

bool RunControl::succeed() { return advance(Working, Succeeded) || advance(Replacing, Succeeded); }

void RunControl::stop() {
    if (!advance(Working, Stopped)) advance(Replacing, Stopped);
}

}  // namespace vaultaide
