#include "app/win32/downloader_app.h"

#include "app/startup.h"
#include "platform/win32/win32_platform.h"

namespace vaultaide {

CDownloaderApp* theApp = nullptr;

BOOL CDownloaderApp::InitInstance() {
    return initInstance(win32Platform(), commandLine_, detectMessageId) ? TRUE : FALSE;
}

}  // namespace vaultaide

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    static vaultaide::CDownloaderApp app(commandLine ? commandLine : "");
    vaultaide::theApp = &app;
    app.InitInstance();
    return 0;
}
