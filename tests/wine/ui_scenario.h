#pragma once
// What the UI scenarios under Wine share: the program's dialogs as conditions, its button ids
// and captions, and a fixture with a machine and a screen.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "wine/screen.h"
#include "wine/ui_machine.h"

namespace vaultaide::wine {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kOk = 1, kCancel = 2, kYes = 6, kNo = 7;
constexpr const char* kTitle = "澜州银行网银助手下载器";

// The message box (a dialog with Yes or OK) that reads text.
inline DialogCondition messageBox(const std::string& text) {
    return [text](const Dialog& d) {
        for (const Control& c : d.controls)
            if (c.text == text) return d.find(kYes) || d.find(kOk);
        return false;
    };
}
// The program's own dialogs, placed: every one after the version query is top-most once it
// shows.
inline DialogCondition placed(const DialogCondition& condition) {
    return [condition](const Dialog& d) { return d.topmost && condition(d); };
}
inline const DialogCondition kWelcome = placed(showing(kOk, "安装"));
inline const DialogCondition kOptions = placed(showing(kOk, "下一步"));
inline const DialogCondition kPrompt = placed(showing(kOk, "确定"));
inline const DialogCondition kProgress = placed([](const Dialog& d) { return d.shows(1020); });

// A stand-in Internet Explorer (C:\Browser\iexplore.exe), returned once it runs.
inline std::unique_ptr<BackgroundProgram> startBrowser(UiMachine& machine) {
    fs::create_directories(machine.driveC("Browser"));
    fs::copy_file(stubProgram("Nexio_810.exe"), machine.driveC("Browser/iexplore.exe"));
    auto browser = std::make_unique<BackgroundProgram>(
        machine.driveC("Browser/iexplore.exe").string(), std::vector<std::string>{},
        machine.driveC("Browser").string());
    const std::string log = machine.driveC("Browser/assistant.log").string();
    EXPECT_TRUE(eventually([&] { return readHostFile(log).find("ready") != std::string::npos; }));
    return browser;
}

inline int exitCodeOf(BackgroundProgram& program, std::chrono::seconds bound = 120s) {
    int code = -1;
    EXPECT_TRUE(program.waitForExit(bound, code)) << "the program did not end";
    return code;
}

class WineUi : public ::testing::Test {
protected:
    UiMachine machine;
    Screen screen{screenshotDirectory()};

    // From the start of a first installation to the options page; the welcome page opens where
    // the version query stood.
    Dialog throughWelcome(const std::string& shot = "") {
        const Dialog welcome = screen.waitFor("welcome page", kWelcome);
        if (!welcome) return welcome;
        EXPECT_EQ(welcome.title, kTitle);
        if (!shot.empty()) screen.snap(welcome, shot);
        for (const Dialog& d : screen.dialogs())
            if (d.find(1029)) {
                EXPECT_FALSE(d.visible);
                EXPECT_EQ(std::make_pair(d.x, d.y), std::make_pair(welcome.x, welcome.y));
            }
        screen.click(welcome, kOk);
        const Dialog options = screen.waitFor("options page", kOptions);
        EXPECT_EQ(std::make_pair(options.x, options.y), std::make_pair(welcome.x, welcome.y));
        return options;
    }
};

}  // namespace vaultaide::wine
