#pragma once
// The process list, process termination, and starting programs.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vaultaide {

struct ProcessEntry {
    uint32_t id = 0;
    std::string imageName;  // the executable's file name, as the process list reports it
};

// How a started program's window shows: SW_HIDE, SW_SHOW or SW_SHOWNORMAL.
enum class WindowShow { Hidden, Shown, Normal };

// How a started program that was waited for came to an end.
enum class RunEnd {
    NotStarted,  // it could not be started: nothing to wait for
    Ended,       // it ended by itself within the bound
    Terminated,  // it was still running when the bound passed and was terminated
};

// How a start for the logged-on user came about.
enum class StartRoute {
    NotStarted,
    UserShell,  // the desktop's shell started it, with the user's own unelevated rights
    Direct,     // this process started it, with its own rights
};

// An elevated process hands the start to the shell of the user's session, so the program runs
// as that user (unelevated, in that user's name even when another administrator elevated this
// run); where the shell cannot be reached or refuses, and where this process is not elevated
// (Windows XP, no user account control), the program is started directly.
inline StartRoute routeUserStart(bool elevated, const std::function<bool()>& throughShell,
                                 const std::function<bool()>& directly) {
    if (elevated && throughShell()) return StartRoute::UserShell;
    return directly() ? StartRoute::Direct : StartRoute::NotStarted;
}

// A program file whose signature held, kept open against change until it is started.
class SignedProgram {
public:
    virtual ~SignedProgram() = default;
    // Starts the checked file with the parameter text, without verb or working folder, and
    // does not wait; false when it could not be started. The file is released either way.
    virtual bool start(const std::string& parameters, WindowShow show) = 0;
};

class Processes {
public:
    virtual ~Processes() = default;
    // The running processes, in the order of the system's process list.
    virtual std::vector<ProcessEntry> snapshot() = 0;
    // Opens the process with the terminate right only and ends it with exitCode;
    // false when it cannot be opened or ended.
    virtual bool terminate(uint32_t processId, uint32_t exitCode) = 0;
    // Opens the process with the rights to end it and wait for it, ends it with exitCode and
    // waits up to timeoutMs for its end; false when it cannot be opened or did not end in time.
    virtual bool terminateAndWait(uint32_t processId, uint32_t exitCode, uint32_t timeoutMs) = 0;
    // Starts a program file (or a program on the search path) with the parameter text, without
    // verb or working folder, and does not wait; false when it could not be started.
    virtual bool start(const std::string& file, const std::string& parameters, WindowShow show) = 0;
    // Starts a program of the assistant for the user who is logged on (routeUserStart), without
    // verb or working folder, and does not wait.
    virtual StartRoute startForUser(const std::string& file, const std::string& parameters,
                                    WindowShow show) = 0;
    // Opens a program file so that no one can change, replace or delete it, and checks its
    // Authenticode signature: valid, from a trusted root, and signed by a certificate whose
    // subject's common name is signerName. Null when the file cannot be opened or the
    // signature does not hold; otherwise the file stays held until the result starts it.
    virtual std::unique_ptr<SignedProgram> openSigned(const std::string& file,
                                                      const std::string& signerName) = 0;
    // Starts a program the same way as start and waits up to timeoutMs for its end; a program
    // still running then is terminated, so no wait is unbounded.
    virtual RunEnd startAndWait(const std::string& file, const std::string& parameters,
                                WindowShow show, uint32_t timeoutMs) = 0;
};

}  // namespace vaultaide
