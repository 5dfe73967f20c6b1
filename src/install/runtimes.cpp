#include "install/runtimes.h"

#include "app/app_state.h"
#include "app/system_utils.h"
#include "packages/install_job.h"
#include "platform/platform.h"
#include "protocol/download.h"
#include "ui/bind_callback.h"

namespace vaultaide {

const RuntimeInstaller& runtimeX86() {
    static const RuntimeInstaller installer{
        "vcredist_x86.exe",
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
        "{A09D5493-0D9F-3211-B3BF-DD7ABBB318C1}",
        "/download/7/5/0/7502f4e9-1f90-4895-9259-1bde67b8b9a1/vcredist_x86.exe"};
    return installer;
}

const RuntimeInstaller& runtimeX64() {
    static const RuntimeInstaller installer{
        "vcredist_x64.exe",
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
        "{02A39130-2CF3-30CA-8623-30F6071A4221}",
        "/download/2/b/e/2bec4780-6f99-4347-ad31-48d4b46ab1d3/vcredist_x64.exe"};
    return installer;
}

namespace {

// The marker key opens for reading in the view and its "Version" fits a 260-byte buffer; the
// content does not matter.
bool markedIn(Registry& registry, const RuntimeInstaller& runtime, RegistryView view) {
    auto key = registry.openKey(runtime.markerKey, kKeyRead, view);
    std::string version;
    return key && key->queryString("Version", version, kRegistryValueBytes - 1);
}

// The 32-bit runtime registers in the view a 32-bit program sees. A 64-bit package writes its
// uninstall key in the 64-bit view, where this program does not look by default; older
// packages wrote it in the 32-bit one. Either marks the 64-bit runtime as installed.
bool installed(Registry& registry, const RuntimeInstaller& runtime) {
    if (markedIn(registry, runtime, RegistryView::Default)) return true;
    return &runtime == &runtimeX64() && markedIn(registry, runtime, RegistryView::View64);
}

void installRuntime(Platform& platform, const AppState& app, InstallJob& job,
                    const std::string& folder, const RuntimeInstaller& runtime) {
    ProgressEvents& progress = job.progress();
    progress.downloading(runtime.fileName);
    CBindCallback sink(progress);
    // Installers run with administrator rights: only one whose signature names the runtime
    // vendor is started, from a folder no one else can write, and held unchanged from the
    // check until it runs. Anything else counts as a failed download.
    std::unique_ptr<SignedProgram> installer;
    const std::string target = folder + runtime.fileName;
    if (!folder.empty() &&
        downloadFile(platform.http, platform.files, app.runtimeHost + runtime.path, target, &sink,
                     kMaxRuntimeInstallerBytes))
        installer = platform.processes.openSigned(target, app.runtimeSigner);
    if (!installer) {
        progress.downloadFailed(runtime.fileName, DownloadKind::Runtime);
        return;
    }
    job.completeUnit();
    progress.installing(runtime.fileName);
    installer->start("/q", WindowShow::Normal);
}

}  // namespace

bool checkRuntimes(Platform& platform, int32_t& needX86, int32_t& needX64) {
    // Where the version probe leaves the architecture open (NT 5.x, other processors), it is
    // taken from the system as for NT 6: only an x86 system skips the 64-bit runtime.
    bool isX86 = platform.system.processorArchitecture() == kArchitectureX86;
    bool isWin7or8 = false;
    if (!probeWindowsVersion(platform.system, isWin7or8, isX86)) {
        needX86 = 1;
        needX64 = 1;
        return false;
    }
    if (isWin7or8) {
        needX86 = 0;
        needX64 = 0;
        return true;
    }
    needX86 = installed(platform.registry, runtimeX86()) ? 0 : 1;
    needX64 = isX86 || installed(platform.registry, runtimeX64()) ? 0 : 1;
    return true;
}

bool installRuntimes(Platform& platform, const AppState& app, InstallJob& job, int32_t needX86,
                     int32_t needX64) {
    if (!needX86 && !needX64) return true;
    // Without the folder, each needed installer fails as a download does.
    std::string folder;
    if (!platform.files.createPrivateFolder(folder)) folder.clear();
    if (needX86) installRuntime(platform, app, job, folder, runtimeX86());
    if (needX64) installRuntime(platform, app, job, folder, runtimeX64());
    return true;
}

}  // namespace vaultaide
