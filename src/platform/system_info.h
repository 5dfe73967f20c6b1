#pragma once
// The Windows version and the processor architecture.
#include <cstdint>
#include <string>

namespace vaultaide {

struct OsVersion {
    bool readable = false;
    uint32_t platformId = 0;  // 2: NT-based
    uint32_t major = 0;
    uint32_t minor = 0;
};

constexpr uint32_t kPlatformWin32Nt = 2;
constexpr uint16_t kArchitectureX86 = 0;
constexpr uint16_t kArchitectureAmd64 = 9;

class SystemInfo {
public:
    virtual ~SystemInfo() = default;
    virtual OsVersion osVersion() = 0;
    // The native architecture where the system can tell it, else the process's own.
    virtual uint16_t processorArchitecture() = 0;
    // The system folder (GetSystemDirectory, "C:\Windows\system32"), without a trailing "\":
    // system programs are started from it by full path, never looked up.
    virtual std::string systemFolder() = 0;
};

}  // namespace vaultaide
