#pragma once
// Kernel services the core needs: traces, named mutex, the suite's broadcast message,
// token privilege, the named-pipe client, the program's own file, sleeping and ending.
#include <cstdint>
#include <string>

namespace vaultaide {

class Kernel {
public:
    virtual ~Kernel() = default;
    // One line on the debugger output stream (OutputDebugStringA).
    virtual void trace(const std::string& line) = 0;
    // System-wide message id for a name; 0 on failure.
    virtual uint32_t registerMessage(const std::string& name) = 0;
    // Posts to every top-level window without waiting.
    virtual void broadcastMessage(uint32_t messageId, uintptr_t wParam, intptr_t lParam) = 0;
    // Creates (or opens) a named mutex that stays held until the process ends; tells whether
    // another process had created it first.
    virtual bool createNamedMutexAlreadyExisted(const std::string& name) = 0;
    // SeTakeOwnershipPrivilege on the process's own token; true when the adjustment call worked.
    virtual bool enableTakeOwnershipPrivilege() = 0;
    // The application's title: the program's file name without extension.
    virtual std::string applicationTitle() = 0;
    // The full path of the program's own file.
    virtual std::string moduleFileName() = 0;
    // Opens an existing pipe for writing (no creation, no waiting for a busy pipe) and writes
    // the message in one write; true when every byte was written.
    virtual bool writeToPipe(const std::string& pipeName, const std::string& message) = 0;
    virtual void sleepMs(uint32_t ms) = 0;
    // ExitProcess: ends at once, no destructors.
    [[noreturn]] virtual void exitProcess(uint32_t code) = 0;
    // The runtime's orderly exit: static destructors run.
    [[noreturn]] virtual void exitOrderly(int code) = 0;
};

}  // namespace vaultaide
