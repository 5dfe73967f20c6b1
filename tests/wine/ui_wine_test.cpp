// The whole program under Wine as a user meets it: every dialog of the three roads, against
// vaultaide-server and the sample release, asserting on what the dialogs show and on what the
// machine holds afterwards. The screenshots of the dialogs are written on the way.
#include <gtest/gtest.h>

#include <thread>

#include "integration/raw_http_server.h"
#include "wine/ui_scenario.h"

namespace vaultaide::wine {
namespace {

// True when the lines occur in text in this order.
bool inOrder(const std::string& text, const std::vector<std::string>& lines) {
    size_t at = 0;
    for (const auto& line : lines) {
        at = text.find(line + "\r\n", at);
        if (at == std::string::npos) return false;
        at += line.size();
    }
    return true;
}

TEST_F(WineUi, FirstInstallationIntoTheDefaultFolderAndIntoATypedOne) {
    machine.serve("1.0.0.2", "1");
    auto program = machine.start();
    const Dialog options = throughWelcome("welcome");
    ASSERT_TRUE(options);
    EXPECT_EQ(options.text(1013), "创建澜州银行网银助手的快捷方式在：");
    for (int box : {1014, 1015, 1016, 1031}) EXPECT_EQ(options.find(box)->checked, 1) << box;
    EXPECT_FALSE(options.shows(1014));
    EXPECT_FALSE(options.shows(1031));
    EXPECT_TRUE(options.shows(1015) && options.shows(1016));
    EXPECT_EQ(options.text(1017), defaultFolder());
    screen.snap(options, "options");

    // The quit confirmation answered No keeps the page as it was.
    screen.click(options, kCancel);
    const Dialog quit = screen.waitFor("quit confirmation", messageBox("是否退出网银助手安装？"));
    EXPECT_EQ(quit.title, kTitle);
    screen.click(quit, kNo);
    screen.click(options, 1016);  // no desktop shortcut
    EXPECT_TRUE(bool(screen.waitFor("desktop box cleared", [](const Dialog& d) {
        return d.find(1016) && d.find(1016)->checked == 0 && d.shows(1017);
    })));
    screen.click(options, kOk);
    const Dialog progress = screen.waitFor("progress dialog", kProgress);
    EXPECT_EQ(std::make_pair(progress.x, progress.y), std::make_pair(options.x, options.y));
    const Dialog done = screen.waitFor("run completed", showing(1020, "完成安装,准备启动助手"));
    EXPECT_EQ(done.text(kCancel), "下载完成");
    EXPECT_EQ(done.text(1024), "100.00%");
    EXPECT_EQ(done.bar(1022).high, 11);  // the entries of both manifests
    EXPECT_EQ(done.bar(1022).position, 11);
    screen.snap(done, "progress-done");
    EXPECT_EQ(exitCodeOf(*program), 0);

    const fs::path folder = machine.driveC(defaultFolderHost());
    for (const char* file : {"readme.txt", "Data/skin.dat", "Nexio_810.exe", "QuorlePop.exe",
                             "uninst_810.exe", "Digest.xml", "Digest_810.xml"})
        EXPECT_TRUE(readHostFile((folder / file).string()) ==
                    readHostFile((machine.release() / file).string()))
            << file;
    EXPECT_EQ(machine.registryValue("Version"), "1.0.0.2");
    EXPECT_EQ(machine.registryValue("Path"), defaultFolder());
    const fs::path c = machine.driveC("");
    EXPECT_FALSE(fs::exists(c / u8"users/Public/Desktop/澜州银行网银助手.lnk"));
    EXPECT_TRUE(fs::exists(c / u8"ProgramData/Microsoft/Windows/Start Menu/Programs/"
                               u8"澜州银行网上银行安全组件/澜州银行网银助手/澜州银行网银助手.lnk"));
    const std::string log = (folder / "assistant.log").string();
    EXPECT_TRUE(eventually([&] {
        return readHostFile(log).find("start Nexio_810.exe []") != std::string::npos;
    })) << readHostFile(log);
    // The final launch, after the run stopped whatever assistant ran ("-t" to both programs).
    EXPECT_TRUE(inOrder(readHostFile(log), {"start QuorlePop.exe [-t]", "start QuorlePop.exe []",
                                            "start Nexio_810.exe []"}))
        << readHostFile(log);

    // Again on a clean machine, into a folder the user types.
    machine.endCommand();
    ASSERT_EQ(runProgram(windowsProgram("wadriver.exe"), {"reg-delete", kOwnKey}, "/tmp").exitCode,
              0);
    program = machine.start();
    const Dialog again = throughWelcome();
    ASSERT_TRUE(again);
    // Arguments reach Wine as UTF-8; the program reads the text back in GBK.
    screen.setText(again, 1017, u8"C:\\自选目录\\\\网银助手");
    screen.click(again, kOk);
    EXPECT_EQ(exitCodeOf(*program), 0);
    EXPECT_EQ(machine.registryValue("Path"), "C:\\自选目录\\网银助手");
    EXPECT_TRUE(fs::exists(machine.driveC(u8"自选目录/网银助手/Nexio_810.exe")));
    EXPECT_TRUE(fs::exists(c / u8"users/Public/Desktop/澜州银行网银助手.lnk"));
}

TEST_F(WineUi, SilentServerLeavesTwoRetriesThenOnlyCancel) {
    testing::RawHttpServer silent("");
    writeHostFile(machine.work() + "/serverip.dat",
                  "http://127.0.0.1\n:" + std::to_string(silent.port()) +
                      "\n/assist/server?reqtype=1&data=\n");
    auto program = machine.start();
    const Dialog querying = screen.waitFor("version query", showing(1029, "正在获取版本信息..."));
    EXPECT_FALSE(querying.shows(1030));
    // Centred as the framework centres a new dialog (the work area is the whole screen here),
    // and not top-most.
    EXPECT_EQ(std::make_pair(querying.x, querying.y),
              std::make_pair(640 - querying.width / 2, 512 - querying.height / 2));
    EXPECT_FALSE(querying.topmost);
    const auto retryOffered = [](const Dialog& d) {
        return d.text(1029) == "服务器没响应" && d.shows(1030) && d.find(1030)->enabled;
    };
    for (int attempt = 1; attempt <= 2; ++attempt) {
        const Dialog failed = screen.waitFor("retry offered", retryOffered);
        ASSERT_TRUE(failed);
        EXPECT_EQ(silent.requests().size(), static_cast<size_t>(attempt));
        if (attempt == 1) screen.snap(failed, "query-no-answer");
        screen.click(failed, 1030);
    }
    const Dialog last = screen.waitFor("third attempt failed", [&](const Dialog& d) {
        return d.text(1029) == "服务器没响应" && silent.requests().size() == 3;
    });
    EXPECT_FALSE(last.shows(1030));
    EXPECT_TRUE(screen.stays([](const Dialog& d) { return d.shows(1030); }, 2s));
    EXPECT_EQ(silent.requests().size(), 3u);

    screen.click(last, kCancel);
    screen.click(screen.waitFor("quit confirmation", messageBox("是否退出网银助手安装？")), kYes);
    EXPECT_EQ(exitCodeOf(*program, 30s), 0);
}

TEST_F(WineUi, UpdatePromptInBothVariantsAndAConfirmedUpdate) {
    machine.installed("1.0.0.1", "Assist", "C:\\Assist");
    const fs::path readme = machine.driveC("Assist/readme.txt");
    writeHostFile(readme.string(), "an older readme\r\n");
    machine.serve("1.0.0.2", "1");

    // Newer version, declined: nothing changes.
    auto program = machine.start();
    const Dialog offer = screen.waitFor("update prompt", kPrompt);
    ASSERT_TRUE(offer);
    EXPECT_EQ(offer.title, kTitle);
    EXPECT_EQ(offer.x, 640 - offer.width / 2);
    EXPECT_EQ(offer.y, 512 - offer.height / 2);
    EXPECT_EQ(offer.text(kCancel), "取消");
    screen.snap(offer, "update-prompt");
    screen.click(offer, kCancel);
    EXPECT_EQ(exitCodeOf(*program, 30s), 0);
    EXPECT_EQ(readHostFile(readme.string()), "an older readme\r\n");

    // The current version: the reinstall variant, another picture.
    ASSERT_EQ(runProgram(windowsProgram("wadriver.exe"), {"reg-set", kOwnKey, "Version", "1.0.0.2"},
                         "/tmp")
                  .exitCode,
              0);
    program = machine.start();
    const Dialog reinstall = screen.waitFor("reinstall prompt", kPrompt);
    screen.snap(reinstall, "reinstall-prompt");
    EXPECT_NE(readHostFile(screenshotDirectory() + "/update-prompt.png"),
              readHostFile(screenshotDirectory() + "/reinstall-prompt.png"));
    screen.click(reinstall, kCancel);
    EXPECT_EQ(exitCodeOf(*program, 30s), 0);

    // Confirmed: the update runs behind a progress dialog centred on the screen.
    ASSERT_EQ(runProgram(windowsProgram("wadriver.exe"), {"reg-set", kOwnKey, "Version", "1.0.0.1"},
                         "/tmp")
                  .exitCode,
              0);
    program = machine.start();
    screen.click(screen.waitFor("update prompt", kPrompt), kOk);
    const Dialog progress = screen.waitFor("update progress", kProgress);
    EXPECT_GE(progress.x, 640 - progress.width / 2);
    EXPECT_LT(progress.x, 640 - progress.width / 2 + 10);
    EXPECT_EQ(exitCodeOf(*program), 0);
    EXPECT_EQ(readHostFile(readme.string()),
              readHostFile((machine.release() / "readme.txt").string()));
    EXPECT_EQ(machine.registryValue("Version"), "1.0.0.2");
}

TEST_F(WineUi, ForcedUpdateHandsOverToThePopUpProgram) {
    machine.installed("1.0.0.1", "Assist", "C:\\Assist");
    fs::remove(machine.driveC("Assist/Data/skin.dat"));
    const std::string log = machine.driveC("Assist/assistant.log").string();
    BackgroundProgram popUp(machine.driveC("Assist/QuorlePop_810.exe").string(), {},
                            machine.driveC("Assist").string());
    ASSERT_TRUE(eventually(
        [&] { return readHostFile(log).find("ready QuorlePop_810.exe") != std::string::npos; }));
    machine.serve("1.0.0.2", "2");
    auto program = machine.start();
    EXPECT_TRUE(bool(screen.waitFor("forced update progress", kProgress)));
    EXPECT_EQ(exitCodeOf(*program), 0);
    EXPECT_TRUE(fs::exists(machine.driveC("Assist/Data/skin.dat")));
    const std::string text = readHostFile(log);
    EXPECT_NE(text.find("start Nexio_810.exe [-t]"), std::string::npos) << text;
    EXPECT_NE(text.find("pipe [KORVA_PopUpdatePopCmd"), std::string::npos) << text;
}

TEST_F(WineUi, RepairWithAndWithoutARunningInternetExplorer) {
    machine.installed("1.0.0.2", "Assist", "C:\\Assist");
    const fs::path lost = machine.driveC("Assist/Plugins/core.ini");
    machine.serve("1.0.0.2", "0");

    fs::remove(lost);
    auto program = machine.start({"-losefile"});
    EXPECT_EQ(exitCodeOf(*program), 0);
    EXPECT_TRUE(fs::exists(lost));

    // A running Internet Explorer: No leaves everything as it is, Yes closes it first.
    const auto browser = startBrowser(machine);
    fs::remove(lost);
    const auto question = messageBox("安装过程中需关闭IE浏览器，是否继续？");
    program = machine.start({"-losefile"});
    Dialog asked = screen.waitFor("browser question", question);
    EXPECT_EQ(asked.title, "澜州银行网银助手");
    screen.snap(asked, "repair-browser-question");
    screen.click(asked, kNo);
    EXPECT_EQ(exitCodeOf(*program, 30s), 0);
    EXPECT_FALSE(fs::exists(lost));

    program = machine.start({"-losefile"});
    screen.click(screen.waitFor("browser question", question), kYes);
    int code = 0;
    EXPECT_TRUE(browser->waitForExit(30s, code));
    EXPECT_EQ(exitCodeOf(*program), 0);
    EXPECT_TRUE(fs::exists(lost));
    fs::remove_all(machine.driveC("Browser"));
}

TEST_F(WineUi, CancelDuringARunAndTheEndCommandFromASecondProcess) {
    // Downloads from a server that never answers keep the run going.
    testing::RawHttpServer holding("");
    machine.serve("1.0.0.2", "1", holding.base() + "/810");
    auto program = machine.start();
    Dialog options = throughWelcome();
    ASSERT_TRUE(options);
    screen.click(options, kOk);
    const Dialog progress = screen.waitFor("progress dialog", kProgress);
    ASSERT_TRUE(progress);
    EXPECT_EQ(progress.text(1023), "0%");
    EXPECT_EQ(progress.text(1024), "0%");
    EXPECT_EQ(progress.bar(1021).position, 0);
    screen.snap(progress, "progress");
    std::this_thread::sleep_for(4500ms);
    screen.snap(progress, "progress-second-picture");
    EXPECT_NE(readHostFile(screenshotDirectory() + "/progress.png"),
              readHostFile(screenshotDirectory() + "/progress-second-picture.png"));

    const auto question = messageBox("下载还未完成，确定取消？");
    screen.click(progress, kCancel);
    Dialog asked = screen.waitFor("cancel question", question);
    EXPECT_EQ(asked.title, kTitle);
    screen.snap(asked, "progress-cancel-question");
    screen.click(asked, kNo);
    EXPECT_TRUE(bool(screen.waitFor("progress goes on", kProgress)));
    EXPECT_TRUE(screen.stays(question, 1s));
    screen.click(progress, kCancel);
    screen.click(screen.waitFor("cancel question", question), kYes);
    EXPECT_EQ(exitCodeOf(*program, 30s), 0);

    // A second process with "-t" ends a running wizard.
    program = machine.start();
    EXPECT_TRUE(bool(screen.waitFor("welcome page", kWelcome)));
    EXPECT_EQ(machine.endCommand().exitCode, 0);
    EXPECT_EQ(exitCodeOf(*program, 30s), 0);
}

}  // namespace
}  // namespace vaultaide::wine
