#include "platform/win32/win32_platform.h"

#include <tlhelp32.h>

namespace vaultaide {

std::vector<ProcessEntry> Win32Processes::snapshot() {
    std::vector<ProcessEntry> entries;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return entries;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snap, &entry); more; more = Process32Next(snap, &entry))
        entries.push_back({entry.th32ProcessID, entry.szExeFile});
    CloseHandle(snap);
    return entries;
}

bool Win32Processes::terminate(uint32_t processId, uint32_t exitCode) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, processId);
    if (!process) return false;
    const bool ended = TerminateProcess(process, exitCode);
    CloseHandle(process);
    return ended;
}

bool Win32Processes::terminateAndWait(uint32_t processId, uint32_t exitCode, uint32_t timeoutMs) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
    if (!process) return false;
    TerminateProcess(process, exitCode);
    const bool ended = WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

}  // namespace vaultaide
