#include "platform/win32/win32_platform.h"

namespace vaultaide {

OsVersion Win32SystemInfo::osVersion() {
    OSVERSIONINFOEXA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    OsVersion version;
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) return version;
    version.readable = true;
    version.platformId = info.dwPlatformId;
    version.major = info.dwMajorVersion;
    version.minor = info.dwMinorVersion;
    return version;
}

uint16_t Win32SystemInfo::processorArchitecture() {
    // GetNativeSystemInfo is missing on old systems, so it is looked up at run time.
    using NativeInfo = void(WINAPI*)(LPSYSTEM_INFO);
    SYSTEM_INFO info = {};
    auto native = reinterpret_cast<NativeInfo>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetNativeSystemInfo")));
    if (native)
        native(&info);
    else
        GetSystemInfo(&info);
    return info.wProcessorArchitecture;
}

std::string Win32SystemInfo::systemFolder() {
    char path[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(path, length) : std::string();
}

}  // namespace vaultaide
