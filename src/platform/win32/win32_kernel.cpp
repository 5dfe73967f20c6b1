#include <cstdlib>

#include "platform/win32/win32_platform.h"

#include "app/gbk_text.h"

namespace vaultaide {

bool enableTakeOwnershipPrivilege(HANDLE process) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_ALL_ACCESS, &token)) return false;
    TOKEN_PRIVILEGES privileges = {};
    if (!LookupPrivilegeValueA(nullptr, "SeTakeOwnershipPrivilege",
                               &privileges.Privileges[0].Luid)) {
        CloseHandle(token);
        return false;
    }
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    const bool adjusted =
        AdjustTokenPrivileges(token, FALSE, &privileges, sizeof privileges, nullptr, nullptr);
    CloseHandle(token);
    return adjusted;
}

void Win32Kernel::trace(const std::string& line) { OutputDebugStringA(line.c_str()); }

uint32_t Win32Kernel::registerMessage(const std::string& name) {
    return RegisterWindowMessageA(name.c_str());
}

void Win32Kernel::broadcastMessage(uint32_t messageId, uintptr_t wParam, intptr_t lParam) {
    PostMessageA(HWND_BROADCAST, messageId, wParam, lParam);
}

bool Win32Kernel::createNamedMutexAlreadyExisted(const std::string& name) {
    // The handle is deliberately never closed: it marks this instance until the process ends.
    CreateMutexA(nullptr, FALSE, name.c_str());
    return GetLastError() == ERROR_ALREADY_EXISTS;
}

bool Win32Kernel::enableTakeOwnershipPrivilege() {
    return vaultaide::enableTakeOwnershipPrivilege(GetCurrentProcess());
}

std::string Win32Kernel::applicationTitle() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name = path;
    const auto slash = findLastBackslash(name);
    name = name.substr(slash == std::string::npos ? 0 : slash + 1);
    return name.substr(0, name.find_last_of('.'));
}

void Win32Kernel::sleepMs(uint32_t ms) { Sleep(ms); }

void Win32Kernel::exitProcess(uint32_t code) { ExitProcess(code); }

void Win32Kernel::exitOrderly(int code) { std::exit(code); }

Platform& win32Platform() {
    static Win32Kernel kernel;
    static Win32Processes processes;
    static Win32Files files;
    static Win32SystemInfo system;
    static Win32UiServices ui;
    static Win32Registry registry;
    static Win32HttpTransport http;
    static Win32TextEncoding text;
    static Platform platform{kernel, processes, files, system, ui, registry, http, text};
    return platform;
}

}  // namespace vaultaide
