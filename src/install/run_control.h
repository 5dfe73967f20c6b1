#pragma once
// Where a run stands, as the install worker and the progress dialog's Cancel both see it. A run
// may be ended at once while it fetches; while installed files are being replaced it is undone
// first, by the worker; once it has succeeded or stopped, Cancel no longer ends a run.
#include <atomic>

namespace vaultaide {

class RunControl {
public:
    enum class CancelStep {
        Ask,         // the question comes first
        EndProcess,  // nothing is half done: the process ends now
        Ignore,      // the worker is undoing the replacement and ends the process itself
        Hide,        // the run has succeeded and ends the process itself in a moment
        Close,       // the worker has stopped and touches the dialog no more
    };

    // Dialog thread: what a press of Cancel does now.
    CancelStep cancelPressed() const;
    // Dialog thread, the question answered Yes: what happens now (never Ask).
    CancelStep cancelConfirmed();

    // Worker: installed files are about to be replaced; false when the user has already ended
    // the run (the worker then does nothing more).
    bool beginReplacement();
    // Worker, while replacing: the user asked to end the run, so the replacement is undone.
    bool undoRequested() const;
    // Worker: the run has succeeded; false when the user ended it first (while replacing, the
    // worker then undoes the replacement).
    bool succeed();
    // Worker: the run stopped; from now on it leaves the dialog alone.
    void stop();

private:
    enum Phase : int { Working, Replacing, UndoAsked, Succeeded, Stopped, Abandoned };
    bool advance(int from, int to) { return phase_.compare_exchange_strong(from, to); }

    std::atomic<int> phase_{Working};
};

}  // namespace vaultaide
