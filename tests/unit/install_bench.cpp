#include "unit/install_bench.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "app/bank_profile.h"
#include "install/install_sequence.h"
#include "install/runtimes.h"
#include "packages/install_job.h"
#include "publish/manifest_writer.h"

namespace vaultaide::testing {

namespace fs = std::filesystem;

void JournalView::setControlText(int controlId, const std::string& text) {
    if (controlId == kStatusLabel) journal_.push_back("status " + text);
    if (controlId == kCancelButton) journal_.push_back("cancel " + text);
}

void JournalView::sendBarMessage(int controlId, BarMessage message, intptr_t wParam,
                                 intptr_t lParam) {
    if (controlId != kOverallBar || message == BarMessage::SetPos) return;
    if (message == BarMessage::SetRange32)
        journal_.push_back("overall range32 " + std::to_string(wParam) + " " +
                           std::to_string(lParam));
    else
        journal_.push_back("overall range " + std::to_string(lParam & 0xFFFF) + " " +
                           std::to_string(lParam >> 16));
}

InstallBench::InstallBench()
    : http(served.path().string(),
           [this](const std::string& p) { return machine.files.hostPath(p); }),
      platform{machine.kernel, machine.processes, machine.files,
               machine.system, machine.ui,        machine.registry,
               http,           machine.text,      machine.shell} {
    DownloadPath endpoint;
    applyBankProfile(app, endpoint);
    app.installPath = "C:\\Assist";
    app.serverVersion = "1.0.0.2";
    app.downloadUrl = "http://release.test/releases/810";
    app.runtimeHost = "http://release.test";
    machine.system.version = {true, kPlatformWin32Nt, 10, 0};
    machine.system.architecture = kArchitectureAmd64;
    fs::create_directories(machine.files.hostPath("C:\\Users\\Public\\Desktop"));
    fs::create_directories(machine.files.hostPath(
        "C:\\Users\\user\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch"));
    // The stand-in runtime installers carry the vendor's signature and register themselves,
    // as the real ones do.
    for (const RuntimeInstaller* runtime : {&runtimeX86(), &runtimeX64()}) {
        const fs::path file = served.path() / fs::path(runtime->path).relative_path();
        fs::create_directories(file.parent_path());
        const std::string bytes = std::string("installer ") + runtime->fileName;
        fakes::writeHostFile(file.string(), bytes);
        machine.processes.signedBy[bytes] = app.runtimeSigner;
    }
    machine.processes.onStart = [this](const std::string& file, const std::string& parameters) {
        journal.push_back("start " + machine.processes.started.back());
        for (const RuntimeInstaller* runtime : {&runtimeX86(), &runtimeX64()})
            if (parameters == "/q" && file.size() > std::strlen(runtime->fileName) &&
                file.compare(file.size() - std::strlen(runtime->fileName), std::string::npos,
                             runtime->fileName) == 0)
                machine.registry.setValue(
                    runtime->markerKey, "Version", "10.0",
                    runtime == &runtimeX64() ? RegistryView::View64 : RegistryView::View32);
    };
    source("common", "QuorlePop.exe", "pop-up 1");
    source("common", "Data/skin.dat", std::string(5000, 's'));
    source("bank", "Nexio_810.exe", "main 1");
    source("bank", "QuorlePop_810.exe", "pop-up bank 1");
    source("bank", "uninst_810.exe", "uninstaller 1");
    publish();
}

void InstallBench::source(const std::string& set, const std::string& relative,
                          const std::string& content) {
    const fs::path file = sources.path() / set / relative;
    fs::create_directories(file.parent_path());
    fakes::writeHostFile(file.string(), content);
}

void InstallBench::publish(const std::string& version, int32_t bankCode,
                           const std::string& folder) {
    std::string error;
    ASSERT_TRUE(tools::publishRelease(
        (sources.path() / "common").string(), (sources.path() / "bank").string(), bankCode,
        VAULTAIDE_TEST_KEY_DIR, (served.path() / "releases" / folder).string(), error, version))
        << error;
}

void InstallBench::run(int mode, int32_t updateMode) {
    auto* job = new InstallJob(&view, app.channelCode, mode, app.downloadUrl, updateMode,
                               app.serverVersion, app.installPath, app.bankCode, machine.registry);
    control = std::make_unique<RunControl>();
    InstallRun run{platform, app, job, view, workerFinished, *control};
    try {
        journal.push_back("returned " + std::to_string(runInstallSequence(run)));
    } catch (const fakes::ProcessEnded& ended) {
        journal.push_back("ended " + std::to_string(ended.code));
    }
}

std::map<std::string, std::string> InstallBench::installedFiles() const {
    std::map<std::string, std::string> files;
    const fs::path root = machine.files.hostPath(app.installPath);
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(item.path(), root).string();
        if (item.is_regular_file() && relative.rfind("DownLoad", 0) != 0)
            files[relative] = fakes::readHostFile(item.path().string());
    }
    return files;
}

std::string InstallBench::installed(const std::string& relative) const {
    return fakes::readHostFile(machine.files.hostPath(app.installPath + "\\" + relative));
}

}  // namespace vaultaide::testing
