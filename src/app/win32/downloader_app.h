#pragma once
// The application object: start-up runs in InitInstance, and no message loop of its own
// follows, since every dialog runs its own modal loop.
#include <windows.h>

#include <cstdint>
#include <string>

namespace vaultaide {

class CDownloaderApp {
public:
    explicit CDownloaderApp(std::string commandLine) : commandLine_(std::move(commandLine)) {}
    BOOL InitInstance();
    uint32_t detectMessageId = 0;  // compared with incoming messages by every dialog

private:
    std::string commandLine_;
};

extern CDownloaderApp* theApp;

}  // namespace vaultaide
