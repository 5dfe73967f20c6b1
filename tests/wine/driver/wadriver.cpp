// Windows-side helper of the end-to-end tests: runs inside the Wine prefix and does what a test
// cannot do from outside, with the program's own Win32 code where it concerns the program.
//   hold-mutex NAME SECONDS READYFILE  holds a named mutex (READYFILE appears once it is held)
//   acp                                prints the ANSI code page
//   arg-bytes TEXT                     prints the bytes of TEXT as received, in hexadecimal
//   reg-set KEY NAME VALUE             REG_SZ without terminator, HKLM, 32-bit view
//   reg-delete KEY                     deletes a key without subkeys, HKLM, 32-bit view
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
//   reg-get KEY NAME                   prints a value of HKLM, 32-bit view
//   ui-...                             the UI driver (ui_commands.h)
#include "platform/win32/win32_platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/bank_profile.h"
#include "app/system_utils.h"
#include "fakes/recording_progress_view.h"
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

int regGet(const Args& a) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, a[0].c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &key) !=
        ERROR_SUCCESS)
        return 1;
    char value[1024] = {};
    DWORD size = sizeof value - 1;
    const LONG rc = RegQueryValueExA(key, a[1].c_str(), nullptr, nullptr,
                                     reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return 1;
    std::printf("%s\n", value);
    return 0;
}

int regDelete(const Args& a) {
    const LONG rc = RegDeleteKeyExA(HKEY_LOCAL_MACHINE, a[0].c_str(), KEY_WOW64_32KEY, 0);
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? 0 : 1;
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
        {"reg-get", {2, regGet}},
        {"reg-delete", {1, regDelete}},
        {"pipe-send", {2, pipeSend}},
        {"idle", {1, idle}},
        {"verify-manifest", {1, verifyManifest}},
        {"digest", {1, digest}},
        {"manifest-entries", {1, manifestEntries}},
        {"http-get", {1, httpGet}},
        {"download", {2, download}},
        {"packages", {3, packages}},
        {"ui-dump", {0, driver::uiDump}},
        {"ui-click", {2, driver::uiClick}},
        {"ui-set-text", {3, driver::uiSetText}},
        {"ui-snap", {2, driver::uiSnap}},
    };
    const auto command = argc >= 2 ? commands.find(argv[1]) : commands.end();
    if (command == commands.end() || static_cast<size_t>(argc - 2) != command->second.first) {
        std::fprintf(stderr, "usage: wadriver COMMAND ARGS... (see the source for the commands)\n");
        return 2;
    }
    return command->second.second(Args(argv + 2, argv + argc));
}
