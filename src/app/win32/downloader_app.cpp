#include "app/win32/downloader_app.h"

#include "app/startup.h"
#include "platform/win32/win32_platform.h"
#include "protocol/built_in_keys.h"

namespace vaultaide {

namespace {

// The dialogs that start-up and the version check open. Their windows come with the user
// interface; until then the run ends where one of them would open.
class Win32StartupUi : public StartupUi {
public:
    void runVersionQueryDialog() override {}
    void runUpdatePrompt(int) override {}
    void runProgressDialog(int) override {}
};

}  // namespace

CDownloaderApp* theApp = nullptr;

BOOL CDownloaderApp::InitInstance() {
    Win32StartupUi ui;
    return initInstance(win32Platform(), builtInEnvelopeKeys(), ui, commandLine_, detectMessageId)
               ? TRUE
               : FALSE;
}

}  // namespace vaultaide

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    static vaultaide::CDownloaderApp app(commandLine ? commandLine : "");
    vaultaide::theApp = &app;
    app.InitInstance();
    return 0;
}
