// Windows-side helper of the end-to-end tests: runs inside the Wine prefix and does what a test
// cannot do from outside, with the program's own Win32 code where it concerns the program.
//   hold-mutex NAME SECONDS READYFILE  holds a named mutex (READYFILE appears once it is held)
//   acp                                prints the ANSI code page
//   arg-bytes TEXT                     prints the bytes of TEXT as received, in hexadecimal
//   reg-set KEY NAME VALUE             REG_SZ without terminator, HKLM, 32-bit view
//   reg-delete KEY                     deletes a key without subkeys, HKLM, in both views
//   pipe-send PIPE TEXT                writes TEXT to a named pipe
//   idle SECONDS                       keeps the prefix's desktop process up between runs
//   verify-manifest FILE               prints "valid" or "invalid" (the program's key)
//   digest FILE                        prints the file's digest text
//   manifest-entries FILE              prints each entry as PATH|FILENAME|DIGEST
//   http-get URL                       one server exchange: prints "result N" and the body
//   download URL PATH                  downloadFile with a progress sink: prints the sink's
//                                      reports and "downloaded" or "failed"
//   packages BASE INSTALLDIR MODE      the signed manifests and the download loop for both
//                                      sets: prints the progress reports and "result ..."
//   sequence MODE BASE INSTALLDIR VERSION UPDATEMODE RUNTIMEHOST AUTOSTART
//                                      the forced-update hand-off and the whole install
//                                      sequence (AUTOSTART 1 or 0), without dialogs: prints
//                                      every control change, "hide" and each message box
//                                      ("box TEXT|CAPTION|STYLE", answered OK) as it happens,
//                                      and "stopped RESULT finished FLAG" when the run stops
//   reg-get VIEW KEY NAME              a value of HKLM in view 32 or 64: "TYPE SIZE HEX"
//                                      (the stored bytes) or "absent"
//   special-folder CSIDL               prints the folder's path
//   link-target LINK                   prints the target path a shell link holds
//   hold-file PATH SECONDS READYFILE   holds a file open without sharing
//   scan-file PATH SECONDS READYFILE   holds a file open for reading with every sharing, as a
//                                      virus scanner does
//   hold-when-free PATH SECONDS READYFILE
//                                      opens a file for reading without delete sharing as soon
//                                      as no other program's handle stands in the way (trying
//                                      for at most SECONDS), then holds it SECONDS: nobody can
//                                      rename or delete it meanwhile
//   ps                                 prints "ID NAME" for every process
//   temp-folder                        prints the temporary folder
//   trust-root CERTFILE                adds a DER certificate to the machine's trusted roots
//   signed-by FILE NAME                prints "trusted" when the program's Authenticode check
//                                      passes FILE as signed by NAME, else "untrusted"
//   broadcast WPARAM                   posts the suite's registered message to every window
//   ui-...                             the UI driver (ui_commands.h)
#include "platform/win32/win32_platform.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wincrypt.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/bank_profile.h"
#include "app/startup.h"
#include "app/system_utils.h"
#include "fakes/recording_progress_view.h"
#include "install/install_sequence.h"
#include "install/run_control.h"
#include "install/update_handoff.h"
#include "packages/digest_manifest.h"
#include "packages/file_digest.h"
#include "packages/install_job.h"
#include "packages/package_download.h"
#include "packages/signed_manifests.h"
#include "protocol/built_in_keys.h"
#include "protocol/download.h"
#include "protocol/http_settings.h"
#include "ui/bind_callback.h"
#include "ui/progress_reporter.h"
#include "wine/driver/ui_commands.h"

namespace {

using namespace vaultaide;
using Args = std::vector<std::string>;

void printLog(const std::vector<std::string>& log) {
    for (const auto& line : log) std::printf("%s\n", line.c_str());
}

int holdMutex(const Args& a) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, a[0].c_str());
    if (!mutex) return 2;
    CloseHandle(CreateFileA(a[2].c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    Sleep(static_cast<DWORD>(std::atoi(a[1].c_str())) * 1000);
    CloseHandle(mutex);
    return 0;
}

int regSet(const Args& a) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, a[0].c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return 1;
    const LONG rc =
        RegSetValueExA(key, a[1].c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(a[2].data()),
                       static_cast<DWORD>(a[2].size()));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? 0 : 1;
}

int regDelete(const Args& a) {
    for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        const LONG rc = RegDeleteKeyExA(HKEY_LOCAL_MACHINE, a[0].c_str(), view, 0);
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return 1;
    }
    return 0;
}

int pipeSend(const Args& a) {
    HANDLE pipe = CreateFileA(a[0].c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    const BOOL ok =
        WriteFile(pipe, a[1].data(), static_cast<DWORD>(a[1].size()), &written, nullptr);
    CloseHandle(pipe);
    return ok ? 0 : 1;
}

int verifyManifest(const Args& a) {
    const bool valid = verifySignedFile(win32Platform().files, a[0], builtInManifestPublicKey());
    std::printf("%s\n", valid ? "valid" : "invalid");
    return valid ? 0 : 1;
}

int digest(const Args& a) {
    std::string text;
    if (!fileDigest(win32Platform().files, a[0], text)) return 1;
    std::printf("%s\n", text.c_str());
    return 0;
}

int manifestEntries(const Args& a) {
    Platform& platform = win32Platform();
    DigestManifest manifest(platform.text);
    if (!manifest.loadManifest(platform.files, a[0])) return 1;
    for (const auto& entry : manifest.entries())
        std::printf("%s|%s|%s\n", entry.path.c_str(), entry.fileName.c_str(), entry.digest.c_str());
    return 0;
}

int httpGet(const Args& a) {
    std::string answer = "(unchanged)";
    const int result = win32Platform().http.openClient(serverExchangeSettings())->get(a[0], answer);
    std::printf("result %d\n%s\n", result, answer.c_str());
    return 0;
}

int download(const Args& a) {
    Platform& platform = win32Platform();
    fakes::RecordingProgressView view;
    ProgressReporter reporter(view);
    CBindCallback sink(reporter);
    const bool done = downloadFile(platform.http, platform.files, a[0], a[1], &sink);
    printLog(view.log);
    std::printf("%s\n", done ? "downloaded" : "failed");
    return done ? 0 : 1;
}

int packages(const Args& a) {
    Platform& platform = win32Platform();
    fakes::RecordingProgressView view;
    AppState state;
    DownloadPath endpoint;
    applyBankProfile(state, endpoint);
    state.progressDialog = &view;
    InstallJob job(&view, state.channelCode, std::atoi(a[2].c_str()), a[0], 1, "1.0.0.2", a[1],
                   state.bankCode, platform.registry);
    bool result = createDirectoryTree(platform.files, job.downloadDir) &&
                  fetchSignedManifests(platform, job, builtInManifestPublicKey());
    if (result) {
        job.unitsTotal = countManifestEntries(platform.files, platform.text, job, 1) +
                         countManifestEntries(platform.files, platform.text, job, 3);
        result = downloadPackages(platform, job, kCommonManifest, state) &&
                 downloadPackages(platform, job, kBankManifest, state);
    }
    printLog(view.log);
    std::printf("result %s\n", result ? "true" : "false");
    return result ? 0 : 1;
}

int argBytes(const Args& a) {
    for (unsigned char c : a[0]) std::printf("%02x", c);
    std::printf("\n");
    return 0;
}

// Prints each control change the moment it happens: the run may end the process at any step.
class PrintingView : public fakes::RecordingProgressView {
public:
    void setControlText(int controlId, const std::string& text) override {
        RecordingProgressView::setControlText(controlId, text);
        printLast();
    }
    void refreshControl(int controlId) override {
        RecordingProgressView::refreshControl(controlId);
        printLast();
    }
    void sendBarMessage(int controlId, BarMessage message, intptr_t wParam,
                        intptr_t lParam) override {
        RecordingProgressView::sendBarMessage(controlId, message, wParam, lParam);
        printLast();
    }

private:
    void printLast() { std::printf("%s\n", log.back().c_str()); }
};

class PrintingUi : public UiServices {
public:
    void initCommonControls() override {}
    int messageBox(const std::string& text, const std::string& caption, unsigned style) override {
        std::printf("box %s|%s|%u\n", text.c_str(), caption.c_str(), style);
        return kIdOk;
    }
};

int sequence(const Args& a) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    Platform& win32 = win32Platform();
    PrintingUi ui;
    Platform platform{win32.kernel,   win32.processes, win32.files, win32.system, ui,
                      win32.registry, win32.http,      win32.text,  win32.shell};
    AppState app;
    DownloadPath endpoint;
    applyBankProfile(app, endpoint);
    const int mode = std::atoi(a[0].c_str());
    app.downloadUrl = a[1];
    app.installPath = a[2];
    app.serverVersion = a[3];
    app.updateMode = std::atoi(a[4].c_str());
    app.runtimeHost = a[5];
    app.runAtStartup = a[6] == "1";
    PrintingView view;
    app.progressDialog = &view;
    auto* job = new InstallJob(&view, app.channelCode, mode, app.downloadUrl, app.updateMode,
                               app.serverVersion, app.installPath, app.bankCode, platform.registry);
    forcedUpdateHandoff(platform, app, *job, [] { std::printf("hide\n"); });
    std::atomic<int32_t> finished{0};
    RunControl control;
    InstallRun run{platform, app, job, view, finished, control};
    const uint32_t result = runInstallSequence(run);
    std::printf("stopped %u finished %d\n", result, finished.load());
    return 3;
}

int regGet(const Args& a) {
    HKEY key = nullptr;
    const REGSAM view = a[0] == "64" ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, a[1].c_str(), 0, KEY_READ | view, &key) !=
        ERROR_SUCCESS) {
        std::printf("absent\n");
        return 1;
    }
    unsigned char data[2048];
    DWORD size = sizeof data, type = 0;
    const LONG rc = RegQueryValueExA(key, a[2].c_str(), nullptr, &type, data, &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) {
        std::printf("absent\n");
        return 1;
    }
    std::printf("%lu %lu ", static_cast<unsigned long>(type), static_cast<unsigned long>(size));
    for (DWORD i = 0; i < size; ++i) std::printf("%02x", data[i]);
    std::printf("\n");
    return 0;
}

int specialFolder(const Args& a) {
    std::string path;
    if (!win32Platform().shell.specialFolderPath(
            static_cast<SpecialFolder>(std::strtol(a[0].c_str(), nullptr, 0)), path))
        return 1;
    std::printf("%s\n", path.c_str());
    return 0;
}

int linkTarget(const Args& a) {
    const auto com = win32Platform().shell.initializeCom();
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))))
        return 2;
    IPersistFile* file = nullptr;
    char target[MAX_PATH] = {};
    wchar_t wide[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, a[0].c_str(), -1, wide, MAX_PATH);
    const bool read =
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(wide, STGM_READ)) &&
        SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH));
    if (file) file->Release();
    link->Release();
    if (!read) return 1;
    std::printf("%s\n", target);
    return 0;
}

// Of PATH SECONDS READYFILE: makes READYFILE, keeps the open file SECONDS, then closes it.
int keepOpen(HANDLE file, const Args& a) {
    CloseHandle(CreateFileA(a[2].c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    Sleep(static_cast<DWORD>(std::atoi(a[1].c_str())) * 1000);
    CloseHandle(file);
    return 0;
}

int holdFileSharing(const Args& a, DWORD access, DWORD sharing) {
    HANDLE file = CreateFileA(a[0].c_str(), access, sharing, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? 2 : keepOpen(file, a);
}

int holdFile(const Args& a) { return holdFileSharing(a, GENERIC_READ | GENERIC_WRITE, 0); }

int scanFile(const Args& a) {
    return holdFileSharing(a, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
}

int holdWhenFree(const Args& a) {
    const DWORD bound = static_cast<DWORD>(std::atoi(a[1].c_str())) * 1000;
    const DWORD start = GetTickCount();
    HANDLE file = INVALID_HANDLE_VALUE;
    while (file == INVALID_HANDLE_VALUE && GetTickCount() - start < bound) {
        file = CreateFileA(a[0].c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        // A writer's handle goes at any moment: try again at once. A missing file is awaited.
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_SHARING_VIOLATION) Sleep(1);
    }
    return file == INVALID_HANDLE_VALUE ? 3 : keepOpen(file, a);
}

int trustRoot(const Args& a) {
    std::string der;
    if (!win32Platform().files.readFile(a[0], der)) return 2;
    HCERTSTORE store =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
    if (!store) return 1;
    const BOOL added = CertAddEncodedCertificateToStore(
        store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
        static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    CertCloseStore(store, 0);
    return added ? 0 : 1;
}

int signedBy(const Args& a) {
    const bool trusted = win32Platform().processes.openSigned(a[0], a[1]) != nullptr;
    std::printf("%s\n", trusted ? "trusted" : "untrusted");
    return trusted ? 0 : 1;
}

int ps(const Args&) {
    for (const auto& entry : win32Platform().processes.snapshot())
        std::printf("%u %s\n", entry.id, entry.imageName.c_str());
    return 0;
}

int broadcast(const Args& a) {
    AppState state;
    DownloadPath endpoint;
    applyBankProfile(state, endpoint);
    Kernel& kernel = win32Platform().kernel;
    kernel.broadcastMessage(kernel.registerMessage(broadcastMessageName(state)),
                            std::strtoul(a[0].c_str(), nullptr, 10), 0);
    return 0;
}

int idle(const Args& a) {
    Sleep(static_cast<DWORD>(std::atoi(a[0].c_str())) * 1000);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::map<std::string, std::pair<size_t, std::function<int(const Args&)>>> commands = {
        {"hold-mutex", {3, holdMutex}},
        {"acp", {0, [](const Args&) { return std::printf("%u\n", GetACP()) > 0 ? 0 : 1; }}},
        {"arg-bytes", {1, argBytes}},
        {"reg-set", {3, regSet}},
        {"reg-delete", {1, regDelete}},
        {"pipe-send", {2, pipeSend}},
        {"idle", {1, idle}},
        {"verify-manifest", {1, verifyManifest}},
        {"digest", {1, digest}},
        {"manifest-entries", {1, manifestEntries}},
        {"http-get", {1, httpGet}},
        {"download", {2, download}},
        {"packages", {3, packages}},
        {"sequence", {7, sequence}},
        {"reg-get", {3, regGet}},
        {"special-folder", {1, specialFolder}},
        {"link-target", {1, linkTarget}},
        {"hold-file", {3, holdFile}},
        {"scan-file", {3, scanFile}},
        {"hold-when-free", {3, holdWhenFree}},
        {"ps", {0, ps}},
        {"trust-root", {1, trustRoot}},
        {"signed-by", {2, signedBy}},
        {"temp-folder",
         {0,
          [](const Args&) {
              return std::printf("%s\n", win32Platform().files.tempFolder().c_str()) > 0 ? 0 : 1;
          }}},
        {"ui-dump", {0, driver::uiDump}},
        {"ui-click", {2, driver::uiClick}},
        {"ui-set-text", {3, driver::uiSetText}},
        {"ui-snap", {2, driver::uiSnap}},
        {"ui-drag", {3, driver::uiDrag}},
        {"ui-syscommand", {2, driver::uiSysCommand}},
        {"ui-pick-folder", {2, driver::uiPickFolder}},
        {"broadcast", {1, broadcast}},
    };
    const auto command = argc >= 2 ? commands.find(argv[1]) : commands.end();
    if (command == commands.end() || static_cast<size_t>(argc - 2) != command->second.first) {
        std::fprintf(stderr, "usage: wadriver COMMAND ARGS... (see the source for the commands)\n");
        return 2;
    }
    return command->second.second(Args(argv + 2, argv + argc));
}
