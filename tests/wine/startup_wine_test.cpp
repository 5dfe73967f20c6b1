// The Windows program's start-up under Wine: run modes, single instance, server endpoint.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <thread>

#include "fakes/fake_platform.h"
#include "platform/native/iconv_text_encoding.h"
#include "wine/screen.h"
#include "wine/wine_bench.h"

namespace vaultaide::wine {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::vector<std::string> kDefaultTraces = {
    "g_downloadpath.ip(https://assist.lanzhou-bank.example)",
    "g_downloadpath.path(/assist/server?reqtype=1&data=)",
    "g_downloadpath.port()",
    "https://assist.lanzhou-bank.example/assist/server?reqtype=1&data=",
};

class WineStartup : public ::testing::Test {
protected:
    fakes::TempDir work;
    std::string dir() const { return work.path().string(); }
    WineRun runDownloader(const std::vector<std::string>& arguments = {}) {
        return runProgram(windowsProgram("vaultaide_810.exe"), arguments, dir());
    }
    // A run that finds no installation: it opens the version query dialog, which a second
    // process's "-t" then ends. The traces of start-up come first.
    WineRun runToVersionQuery(const std::vector<std::string>& arguments = {}) {
        WineRun run;
        std::thread program([&] { run = runDownloader(arguments); });
        const Screen screen(screenshotDirectory());
        EXPECT_TRUE(
            bool(screen.waitFor("version query", [](const Dialog& d) { return d.shows(1029); })));
        EXPECT_EQ(runDownloader({"-t"}).exitCode, 0);
        program.join();
        return run;
    }
    static std::vector<std::string> startupTraces(const WineRun& run) {
        return {run.traces.begin(), run.traces.begin() + std::min<size_t>(4, run.traces.size())};
    }
};

TEST_F(WineStartup, AnsiCodePageIsGbkAndChineseArgumentsArriveInIt) {
    const WineRun run = runProgram(windowsProgram("wadriver.exe"), {"acp"}, dir());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.output.find("936"), std::string::npos) << run.output;

    const std::string folder = u8"C:\\vaultaide check\\网银助手";
    const WineRun echoed = runProgram(windowsProgram("wadriver.exe"), {"arg-bytes", folder}, dir());
    std::string expected;
    for (unsigned char c : IconvTextEncoding().utf8ToAnsi(folder)) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", c);
        expected += hex;
    }
    EXPECT_EQ(expected.size(),
              2 * (folder.size() - 4));  // four characters of three bytes, two each
    EXPECT_NE(echoed.output.find(expected), std::string::npos) << echoed.output;
}

TEST_F(WineStartup, NormalStartTracesTheDefaultEndpoint) {
    const WineRun run = runToVersionQuery();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(startupTraces(run), kDefaultTraces) << run.output;
}

TEST_F(WineStartup, ServerFileVariants) {
    const std::vector<std::string> local = {
        "g_downloadpath.ip(http://127.0.0.1)",
        "g_downloadpath.path(/assist/server?reqtype=1&data=)",
        "g_downloadpath.port(:8080)",
        "http://127.0.0.1:8080/assist/server?reqtype=1&data=",
    };
    writeHostFile(dir() + "/serverip.dat",
                  "http://127.0.0.1\n:8080\n/assist/server?reqtype=1&data=");
    WineRun run = runToVersionQuery();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(startupTraces(run), local) << run.output;

    writeHostFile(dir() + "/serverip.dat",
                  "http://127.0.0.1\r\n:8080\r\n/assist/server?reqtype=1&data=\r\n");
    run = runToVersionQuery();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(startupTraces(run), local) << run.output;

    writeHostFile(dir() + "/serverip.dat", "http://127.0.0.1\n\n/assist/server?reqtype=1&data=\n");
    run = runToVersionQuery();
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_GE(run.traces.size(), 4u) << run.output;
    EXPECT_EQ(run.traces[2], "g_downloadpath.port()");
    EXPECT_EQ(run.traces[3], "http://127.0.0.1/assist/server?reqtype=1&data=");

    // Two lines end the run before any trace.
    writeHostFile(dir() + "/serverip.dat", "http://127.0.0.1\n:8080\n");
    run = runDownloader();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.traces.empty()) << run.output;
}

TEST_F(WineStartup, SecondInstanceEndsAtOnceWithoutTrace) {
    const std::string ready = dir() + "/held";
    BackgroundProgram holder(windowsProgram("wadriver.exe"),
                             {"hold-mutex", "downloader_KORVA_810", "60", "held"}, dir());
    ASSERT_TRUE(eventually([&] { return fs::exists(ready); }));
    const WineRun run = runDownloader();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.traces.empty()) << run.output;

    // The end command needs no mutex and runs beside a normal instance.
    const WineRun end = runDownloader({"-t"});
    EXPECT_EQ(end.exitCode, 0);
}

TEST_F(WineStartup, EndCommandStopsRunningAssistantPrograms) {
    fs::copy_file(stubProgram("Nexio_810.exe"), work.path() / "Nexio_810.exe");
    const std::string log = dir() + "/assistant.log";
    BackgroundProgram assistant(dir() + "/Nexio_810.exe", {}, dir());
    ASSERT_TRUE(eventually(
        [&] { return readHostFile(log).find("ready Nexio_810.exe") != std::string::npos; }));

    const WineRun run = runDownloader({"-t"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.traces.empty()) << run.output;
    EXPECT_TRUE(eventually([&] {
        return readHostFile(log).find("message 1 0") != std::string::npos;
    })) << readHostFile(log);
    int code = -1;
    EXPECT_TRUE(assistant.waitForExit(30s, code));
    EXPECT_EQ(code, 0);
    EXPECT_EQ(readHostFile(log),
              "start Nexio_810.exe []\r\nready Nexio_810.exe\r\nmessage 1 0\r\n");
}

TEST_F(WineStartup, PopUpStubServesItsPipeAndEndsOnTheEndCommand) {
    fs::copy_file(stubProgram("QuorlePop_810.exe"), work.path() / "QuorlePop_810.exe");
    const std::string log = dir() + "/assistant.log";
    const WineRun quick = runProgram(dir() + "/QuorlePop_810.exe", {"-t"}, dir());
    EXPECT_EQ(quick.exitCode, 0);
    BackgroundProgram popUp(dir() + "/QuorlePop_810.exe", {}, dir());
    ASSERT_TRUE(eventually(
        [&] { return readHostFile(log).find("ready QuorlePop_810.exe") != std::string::npos; }));
    const WineRun sent = runProgram(
        windowsProgram("wadriver.exe"),
        {"pipe-send", "\\\\.\\pipe\\KORVA_PopKORVA810", "KORVA_PopUpdatePopCmd||"}, dir());
    EXPECT_EQ(sent.exitCode, 0) << sent.output;
    EXPECT_TRUE(eventually([&] { return readHostFile(log).find("pipe [") != std::string::npos; }));
    EXPECT_EQ(runDownloader({"-t"}).exitCode, 0);
    int code = -1;
    EXPECT_TRUE(popUp.waitForExit(30s, code));
    EXPECT_EQ(readHostFile(log),
              "start QuorlePop_810.exe [-t]\r\nstart QuorlePop_810.exe []\r\n"
              "ready QuorlePop_810.exe\r\npipe [KORVA_PopUpdatePopCmd||]\r\nmessage 1 0\r\n");
}

TEST_F(WineStartup, CommandLinesCloseToTheEndCommandTakeTheNormalRun) {
    for (const std::string argument : {"-T", "-t ", "-update"}) {
        const WineRun run = runToVersionQuery({argument});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(startupTraces(run), kDefaultTraces) << argument << run.output;
    }
}

}  // namespace
}  // namespace vaultaide::wine
