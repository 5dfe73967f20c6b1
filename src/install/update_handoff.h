#pragma once
// Handing an update over to the running assistant: the forced-update hand-off before the
// progress dialog shows, the pop-up program's pipe command, and stopping the assistant's
// programs before their files are replaced.
#include <cstdint>
#include <functional>
#include <string>

namespace vaultaide {

struct AppState;
class InstallJob;
class Kernel;
struct Platform;

// The pop-up program's pipe: "\\.\pipe\" + "KORVA_Pop" + channel + "%x" of the bank code, fixed
// texts in this build.
std::string popPipeName();
// "KORVA_Pop" + command + "||" + argument.
std::string popCommandMessage(const std::string& command, const std::string& argument);

// How long a "-t" run of an assistant program may take to end. It only tells the running
// instance to end and ends itself, which takes a second or two even on a slow machine just
// started; one still running after half a minute hangs and is terminated.
constexpr uint32_t kEndCommandWaitMs = 30000;
constexpr uint32_t kHandoffWaitMs = 3000;
// How long a terminated program of the assistant may take to be gone.
constexpr uint32_t kEndProcessWaitMs = 10000;
constexpr uint32_t kAfterStopWaitMs = 2000;

// Acts only for a forced update (job mode 1, updateMode 2): calls hideDialog, starts the main
// program with "-t", sends the pop-up program its pipe command and waits 3 s. True always.
bool forcedUpdateHandoff(Platform& platform, const AppState& app, InstallJob& job,
                         const std::function<void()>& hideDialog);
// Writes the command message to the pop-up program's pipe in one write; true when all of it
// was written, false when the pipe cannot be opened or the write is short.
bool sendPopCommand(Kernel& kernel, const std::string& command, const std::string& argument);
// Asks the main and the pop-up program to end ("-t", waited for with a bound) and terminates
// every process still running under their names. False only when the download folder is
// missing and cannot be created; a process that cannot be ended stops the run with the
// "file in use" message and ends the program.
bool stopAssistant(Platform& platform, const AppState& app, const InstallJob& job);

}  // namespace vaultaide
