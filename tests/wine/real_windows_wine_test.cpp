// What Windows 8.1 and later, Windows set up for another language and top-most dialogs change,
// as far as Wine plays them: the runtime step on Windows 10 with each runtime's marker in its
// own registry view, a name the code page cannot hold, and the "file in use" message in front
// of the progress dialog.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "install/runtimes.h"
#include "integration/server_process.h"
#include "wine/ui_scenario.h"

namespace vaultaide::wine {
namespace {

using Lines = std::vector<std::string>;

const char* kConfig = R"({"banks": {"810": {"version": "1.0.0.2", "url": "{self}/releases/810",
                                              "update": "1"}}})";
const std::string kDriverDefaults = "HKCU\\Software\\Wine\\AppDefaults\\wadriver.exe";

// The host path of a path on the prefix's drive C:.
fs::path hostC(std::string windowsPath) {
    std::replace(windowsPath.begin(), windowsPath.end(), '\\', '/');
    return fs::path(benchDirectory()) / "prefix" / "drive_c" / windowsPath.substr(3);
}

// The install sequence through the driver against the sample release and the stand-in runtime
// installers, on a machine without the assistant or the runtimes.
class WineRealWindows : public ::testing::Test {
protected:
    fakes::TempDir work, served;
    std::unique_ptr<testing::ServerProcess> server;
    std::string tempFolder;

    void SetUp() override {
        const std::string command =
            std::string(VAULTAIDE_SOURCE_DIR) + "/tests/fixtures/make-sample-release " +
            VAULTAIDE_PUBLISH_BIN + " " + VAULTAIDE_WIN_BUILD_DIR + "/stubs " +
            VAULTAIDE_TEST_KEY_DIR + " " + (served.path() / "releases" / "810").string() +
            " '' 1.0.0.2 >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        for (const RuntimeInstaller* runtime : {&runtimeX86(), &runtimeX64()}) {
            const fs::path file = served.path() / fs::path(runtime->path).relative_path();
            fs::create_directories(file.parent_path());
            fs::copy_file(stubProgram(runtime->fileName), file);
        }
        ASSERT_EQ(driver({"trust-root", windowsPathOf(stubProgram("test-root.der"))}).exitCode, 0);
        server = std::make_unique<testing::ServerProcess>(kConfig, served.path().string());
        forgetInstallation();
        tempFolder = driver({"temp-folder"}).output;
        tempFolder.resize(tempFolder.find('\n'));
        fs::remove(hostC(tempFolder + "runtime.log"));
    }

    void TearDown() override {
        runProgram(windowsProgram("vaultaide_810.exe"), {"-t"}, dir());
        forgetInstallation();
        runProgram("reg", {"delete", kDriverDefaults, "/f"}, dir());
    }

    std::string dir() const { return work.path().string(); }

    void forgetInstallation() {
        fs::remove_all(hostC("C:\\Assist"));
        for (const char* key : {"Software\\\\Vellumark\\Nexio\\KORVA\\810", runtimeX86().markerKey,
                                runtimeX64().markerKey})
            driver({"reg-delete", key});
    }

    WineRun driver(const std::vector<std::string>& arguments,
                   const std::vector<std::string>& environment = {}) {
        WineRun run =
            runProgram(windowsProgram("wadriver.exe"), arguments, dir(), 120s, environment);
        run.output.erase(std::remove(run.output.begin(), run.output.end(), '\r'), run.output.end());
        return run;
    }

    WineRun sequence(int mode, const std::vector<std::string>& environment = {}) {
        return driver({"sequence", std::to_string(mode), server->base() + "/releases/810",
                       "C:\\Assist", "1.0.0.2", "1", server->base(), "0"},
                      environment);
    }

    std::string marker(const std::string& view, const RuntimeInstaller& runtime) {
        const std::string line = driver({"reg-get", view, runtime.markerKey, "Version"}).output;
        return line.substr(0, line.find('\n'));
    }

    // The installers started so far, sorted ("vcredist_x86.exe [/q]").
    Lines runtimeStarts() {
        std::istringstream log(readHostFile(hostC(tempFolder + "runtime.log").string()));
        Lines starts;
        for (std::string line; std::getline(log, line);)
            if (line.rfind("start ", 0) == 0) starts.push_back(line.substr(6, line.find('\r') - 6));
        std::sort(starts.begin(), starts.end());
        return starts;
    }
};

// Wine reporting Windows 10 to a program that declares it: the runtime step runs (on 6.2 it
// would not), the 64-bit installer only on a 64-bit system, and neither again once their
// markers stand where the packages write them.
TEST_F(WineRealWindows, Windows10RunsTheRuntimeStepOncePerMissingRuntime) {
    ASSERT_EQ(
        runProgram("reg", {"add", kDriverDefaults, "/v", "Version", "/d", "win10", "/f"}, dir())
            .exitCode,
        0);
    // The prefix's registry names the system it plays.
    const bool system64 =
        readHostFile(benchDirectory() + "/prefix/system.reg").find("#arch=win64") !=
        std::string::npos;
    const WineRun fresh = sequence(0);
    ASSERT_EQ(fresh.exitCode, 0) << fresh.output;
    const Lines expected = system64 ? Lines{"vcredist_x64.exe [/q]", "vcredist_x86.exe [/q]"}
                                    : Lines{"vcredist_x86.exe [/q]"};
    EXPECT_TRUE(eventually([&] { return runtimeStarts() == expected; }))
        << readHostFile(hostC(tempFolder + "runtime.log").string());
    EXPECT_TRUE(eventually([&] { return marker("32", runtimeX86()) != "absent"; }));
    if (system64) {
        EXPECT_TRUE(eventually([&] { return marker("64", runtimeX64()) != "absent"; }));
        EXPECT_EQ(marker("32", runtimeX64()), "absent");
    }

    fs::remove(hostC(tempFolder + "runtime.log"));
    const WineRun repair = sequence(2);
    ASSERT_EQ(repair.exitCode, 0) << repair.output;
    EXPECT_EQ(repair.output.find("vcredist"), std::string::npos) << repair.output;
    EXPECT_FALSE(eventually([&] { return !runtimeStarts().empty(); }, 2s));
}

// On an English Windows (code page 1252) a Chinese name of the release fails its entry with a
// trace: the run stops and no "?" file appears.
TEST_F(WineRealWindows, NamesOutsideTheCodePageFailWithATrace) {
    const std::vector<std::string> english = {"LC_ALL=en_US.UTF-8"};
    ASSERT_EQ(driver({"acp"}, english).output, "1252\n");
    const WineRun run = sequence(0, english);
    EXPECT_NE(run.output.find("stopped 0 finished 1"), std::string::npos) << run.output;
    EXPECT_NE(std::find(run.traces.begin(), run.traces.end(),
                        u8"name not in the ANSI code page(说明.txt)"),
              run.traces.end())
        << run.output;
    for (const auto& item : fs::recursive_directory_iterator(hostC("C:\\Assist")))
        EXPECT_EQ(item.path().filename().string().find('?'), std::string::npos) << item.path();
}

// The message that ends an update whose file is held shows above the top-most progress
// dialog (the window manager lists windows front to back).
TEST_F(WineUi, FileInUseMessageStandsInFrontOfTheProgressDialog) {
    machine.installed("1.0.0.1", "Assist", "C:\\Assist");
    writeHostFile(machine.driveC("Assist/readme.txt").string(), "an older readme\r\n");
    machine.serve("1.0.0.2", "1");
    BackgroundProgram holder(windowsProgram("wadriver.exe"),
                             {"hold-file", "C:\\Assist\\readme.txt", "90", "C:\\held"},
                             machine.work());
    ASSERT_TRUE(eventually([&] { return fs::exists(machine.driveC("held")); }));
    auto program = machine.start();
    screen.click(screen.waitFor("update prompt", kPrompt), kOk);
    const Dialog box =
        screen.waitFor("file in use", messageBox("更新失败，助手文件被占用，请关闭占用重新更新!"));
    ASSERT_TRUE(bool(box));
    const std::vector<Dialog> order = screen.dialogs();
    const auto at = [&](const DialogCondition& condition) {
        return std::find_if(order.begin(), order.end(), condition) - order.begin();
    };
    const auto progress = at([](const Dialog& d) { return d.visible && d.find(1020); });
    ASSERT_LT(progress, static_cast<long>(order.size())) << screen.dump();
    EXPECT_LT(at([&](const Dialog& d) { return d.handle == box.handle; }), progress)
        << screen.dump();
    screen.click(box, kOk);
    EXPECT_EQ(exitCodeOf(*program), 0);
    fs::remove(machine.driveC("held"));
}

}  // namespace
}  // namespace vaultaide::wine
