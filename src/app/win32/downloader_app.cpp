#include "app/win32/downloader_app.h"

#include "app/startup.h"
#include "install/replacement_journal.h"
#include "platform/win32/win32_platform.h"
#include "protocol/built_in_keys.h"
#include "ui/win32/win32_startup_ui.h"

namespace vaultaide {

CDownloaderApp* theApp = nullptr;

BOOL CDownloaderApp::InitInstance() {
    DialogContext context{win32Platform(), g_appState, builtInEnvelopeKeys(), g_downloadpath,
                          detectMessageId};
    Win32StartupUi ui(context);
    return initInstance(context.platform, context.keys, ui, commandLine_, detectMessageId,
                        g_appState, g_downloadpath, recoverInterruptedReplacement)
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
