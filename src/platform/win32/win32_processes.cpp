#include "platform/win32/win32_platform.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include "platform/win32/scoped_handle.h"

namespace vaultaide {

namespace {

// A program terminated because it outlived its bound ends with this code; the wait for its
// end after the termination is bounded too.
constexpr UINT kOverdueExitCode = 1;
constexpr DWORD kTerminationWaitMs = 5000;

const char* parametersOrNull(const std::string& parameters) {
    return parameters.empty() ? nullptr : parameters.c_str();
}

}  // namespace

int showCommandOf(WindowShow show) {
    switch (show) {
        case WindowShow::Shown:
            return SW_SHOW;
        case WindowShow::Normal:
            return SW_SHOWNORMAL;
        default:
            return SW_HIDE;
    }
}

std::vector<ProcessEntry> Win32Processes::snapshot() {
    std::vector<ProcessEntry> entries;
    ScopedHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snap) return entries;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snap.get(), &entry); more;
         more = Process32Next(snap.get(), &entry))
        entries.push_back({entry.th32ProcessID, entry.szExeFile});
    return entries;
}

bool Win32Processes::terminate(uint32_t processId, uint32_t exitCode) {
    ScopedHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, processId));
    return process && TerminateProcess(process.get(), exitCode);
}

bool Win32Processes::terminateAndWait(uint32_t processId, uint32_t exitCode, uint32_t timeoutMs) {
    constexpr DWORD kRights = PROCESS_TERMINATE | SYNCHRONIZE;
    ScopedHandle process(OpenProcess(kRights, FALSE, processId));
    // Another user's process opens to an administrator only with the debug privilege, which
    // is enabled the first time it is needed.
    if (!process && GetLastError() == ERROR_ACCESS_DENIED &&
        enablePrivilege(GetCurrentProcess(), "SeDebugPrivilege"))
        process.reset(OpenProcess(kRights, FALSE, processId));
    if (!process) return false;
    TerminateProcess(process.get(), exitCode);
    return WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0;
}

bool Win32Processes::start(const std::string& file, const std::string& parameters,
                           WindowShow show) {
    const auto result = reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, nullptr, file.c_str(),
                                                                parametersOrNull(parameters),
                                                                nullptr, showCommandOf(show)));
    return result > 32;
}

StartRoute Win32Processes::startForUser(const std::string& file, const std::string& parameters,
                                        WindowShow show) {
    return routeUserStart(
        processIsElevated(), [&] { return startThroughDesktopShell(file, parameters, show); },
        [&] { return start(file, parameters, show); });
}

RunEnd Win32Processes::startAndWait(const std::string& file, const std::string& parameters,
                                    WindowShow show, uint32_t timeoutMs) {
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = file.c_str();
    info.lpParameters = parametersOrNull(parameters);
    info.nShow = showCommandOf(show);
    if (!ShellExecuteExA(&info)) return RunEnd::NotStarted;
    ScopedHandle process(info.hProcess);
    if (!process) return RunEnd::NotStarted;
    if (WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0) return RunEnd::Ended;
    TerminateProcess(process.get(), kOverdueExitCode);
    WaitForSingleObject(process.get(), kTerminationWaitMs);
    return RunEnd::Terminated;
}

}  // namespace vaultaide
