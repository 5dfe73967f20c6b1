#include <cstdlib>

#include "platform/win32/win32_platform.h"

#include "base/gbk_text.h"
#include "platform/win32/scoped_handle.h"

namespace vaultaide {

bool enableTakeOwnershipPrivilege(HANDLE process) {
    return enablePrivilege(process, "SeTakeOwnershipPrivilege");
}

bool enablePrivilege(HANDLE process, const char* name) {
    ScopedHandle token;
    if (!OpenProcessToken(process, TOKEN_ALL_ACCESS, token.receive())) return false;
    TOKEN_PRIVILEGES privileges = {};
    if (!LookupPrivilegeValueA(nullptr, name, &privileges.Privileges[0].Luid)) return false;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    return AdjustTokenPrivileges(token.get(), FALSE, &privileges, sizeof privileges, nullptr,
                                 nullptr);
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

std::string Win32Kernel::moduleFileName() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

bool Win32Kernel::writeToPipe(const std::string& pipeName, const std::string& message) {
    // The server of the pipe may identify this elevated client but never act as it: whoever
    // creates a pipe of that name first would otherwise get an administrator's token.
    ScopedHandle pipe(CreateFileA(
        pipeName.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
    if (!pipe) return false;
    DWORD written = 0;
    return WriteFile(pipe.get(), message.data(), static_cast<DWORD>(message.size()), &written,
                     nullptr) &&
           written == message.size();
}

std::string Win32Kernel::applicationTitle() {
    std::string name = moduleFileName();
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
    static Win32Shell shell;
    static Platform platform{kernel, processes, files, system, ui, registry, http, text, shell};
    return platform;
}

}  // namespace vaultaide
