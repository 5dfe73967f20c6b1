// The paths through the dialogs that a run off the straight road takes, under Wine with the
// real dialogs: a stopped run, going back and browsing on the options page, refused drives,
// dragged and minimised pages, the update prompt's own browser question, and the suite's end
// message during a download.
#include <gtest/gtest.h>

#include "wine/ui_scenario.h"

namespace vaultaide::wine {
namespace {

constexpr int kBackButton = 1011, kBrowseButton = 1018;
constexpr const char* kHeldFile = "/810/Data/bank_810.dat";

std::pair<int, int> at(const Dialog& d) { return {d.x, d.y}; }

// The dialog with this handle once it stands somewhere else than before.
DialogCondition movedFrom(const Dialog& before) {
    return [before](const Dialog& d) { return d.handle == before.handle && at(d) != at(before); };
}

// An update from 1.0.0.1 in C:\Assist to the served 1.0.0.2 fetches readme.txt (older here)
// and, last of all, the bank set's Data\bank_810.dat (missing).
void olderInstallation(UiMachine& machine) {
    machine.installed("1.0.0.1", "Assist", "C:\\Assist");
    writeHostFile(machine.driveC("Assist/readme.txt").string(), "an older readme\r\n");
    fs::remove(machine.driveC("Assist/Data/bank_810.dat"));
    machine.serve("1.0.0.2", "1");
}

// Nothing of an update that did not end was installed.
void expectOlderInstallationKept(UiMachine& machine) {
    EXPECT_EQ(readHostFile(machine.driveC("Assist/readme.txt").string()), "an older readme\r\n");
    EXPECT_FALSE(fs::exists(machine.driveC("Assist/Data/bank_810.dat")));
    // Written by the driver without a terminator, read back with the one Wine stores.
    EXPECT_STREQ(machine.registryValue("Version").c_str(), "1.0.0.1");
}

// Starts that update through the front, which holds bank_810.dat half-way; returns once the
// progress dialog shows its transfer (as of up to 33 ms before the hold: the half itself shows
// before the failure).
std::unique_ptr<BackgroundProgram> startHeldUpdate(UiMachine& machine, const Screen& screen,
                                                   ServerFront& front) {
    machine.pointAt(front.port());
    front.holdHalfway(kHeldFile);
    auto program = machine.start();
    screen.click(screen.waitFor("update prompt", kPrompt), kOk);
    EXPECT_TRUE(bool(screen.waitFor("bank_810.dat half-way", [](const Dialog& d) {
        return d.text(1020) == "正在下载 Data\\bank_810.dat   3/3" && d.text(1023) != "0%";
    })));
    return program;
}

TEST_F(WineUi, StoppedRunsCloseWithoutAQuestionAndEveryPageUnwinds) {
    olderInstallation(machine);
    ServerFront front(machine.serverPort());
    auto program = startHeldUpdate(machine, screen, front);
    const Dialog progress = screen.waitFor("update progress", kProgress);
    // Still fetching: Cancel asks, and No lets the run go on to its end.
    const auto question = messageBox("下载还未完成，确定取消？");
    // A stopped run names the file that failed; Cancel then closes it without a question.
    const auto closeStoppedRun = [&](const char* what, const std::string& status) {
        const Dialog stopped = screen.waitFor(what, showing(kCancel, "下载失败"));
        EXPECT_EQ(stopped.text(1020), status);
        EXPECT_EQ(stopped.text(1023), "50.00%");  // the held file's last report
        screen.click(stopped, kCancel);
        EXPECT_TRUE(screen.stays(question, 1s));
        EXPECT_EQ(exitCodeOf(*program, 30s), 0);
    };
    screen.click(progress, kCancel);
    screen.click(screen.waitFor("cancel question", question), kNo);
    front.refuse(kHeldFile);
    front.letGo();
    closeStoppedRun("update stopped", "下载Data\\bank_810.dat 失败");
    expectOlderInstallationKept(machine);

    // A first installation whose runtime cannot be fetched (Wine reports Vista, so the step
    // runs; the bench cannot reach the runtime host) goes on with the packages and stops at
    // the first that fails; Cancel then unwinds progress, options, welcome, options, welcome
    // and version query.
    ASSERT_EQ(runProgram(windowsProgram("wadriver.exe"), {"reg-delete", kOwnKey}, "/tmp").exitCode,
              0);
    const std::string appDefaults = "HKCU\\Software\\Wine\\AppDefaults\\vaultaide_810.exe";
    ASSERT_EQ(runProgram("reg", {"add", appDefaults, "/v", "Version", "/d", "vista", "/f"}, "/tmp")
                  .exitCode,
              0);
    ASSERT_EQ(runProgram(windowsProgram("wadriver.exe"),
                         {"reg-delete",
                          "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                          "{A09D5493-0D9F-3211-B3BF-DD7ABBB318C1}"},
                         "/tmp")
                  .exitCode,
              0);
    // A file of the installation folder itself: an empty Path between the two slashes.
    front.holdHalfway("/810//QuorlePop.exe");
    program = machine.start();
    ASSERT_TRUE(bool(throughWelcome()));
    screen.click(screen.waitFor("options page", kOptions), kBackButton);
    screen.click(screen.waitFor("welcome page again", kWelcome), kOk);
    screen.click(screen.waitFor("options page again", kOptions), kOk);
    EXPECT_TRUE(bool(screen.waitFor("runtime failed", [](const Dialog& d) {
        return d.text(kCancel) == "下载VS库失败" &&
               d.text(1020).rfind("正在下载 QuorlePop.exe   ", 0) == 0 && d.text(1023) != "0%";
    })));
    front.refuse("/810//QuorlePop.exe");
    front.letGo();
    closeStoppedRun("installation stopped", "下载QuorlePop.exe 失败");
    runProgram("reg", {"delete", appDefaults, "/f"}, "/tmp");
}

TEST_F(WineUi, OptionsPageBackBrowseAndRefusedDrives) {
    machine.serve("1.0.0.2", "1");
    fs::create_directories(machine.driveC("Picked"));
    auto program = machine.start();
    Dialog options = throughWelcome();
    ASSERT_TRUE(options);
    screen.click(options, 1016);  // no desktop shortcut
    ASSERT_TRUE(bool(screen.waitFor("desktop box cleared", [](const Dialog& d) {
        return d.find(1016) && d.find(1016)->checked == 0 && d.shows(1017);
    })));
    // Back and forward again: the boxes as the flags were left, the default folder again.
    screen.click(options, kBackButton);
    screen.click(screen.waitFor("welcome page again", kWelcome), kOk);
    options = screen.waitFor("options page again", kOptions);
    EXPECT_EQ(options.find(1016)->checked, 0);
    EXPECT_EQ(options.find(1015)->checked, 1);
    EXPECT_EQ(options.text(1017), defaultFolder());

    // Folders on a removable drive and on a CD are refused; the page stays.
    for (const auto& [typed, shown] : {std::pair{u8"E:\\网银助手", "E:\\网银助手"},
                                       std::pair{u8"F:\\网银助手", "F:\\网银助手"}}) {
        screen.setText(options, 1017, typed);
        screen.click(options, kOk);
        const Dialog refused = screen.waitFor("refused folder", messageBox("路径不合法"));
        EXPECT_EQ(refused.title, kTitle);
        screen.click(refused, kOk);
        EXPECT_TRUE(bool(screen.waitFor("options page stays", showing(1017, shown))));
    }

    // The folder picker, to a folder and to a drive root.
    const auto picker = [](const Dialog& d) {
        for (const Control& c : d.controls)
            if (c.text == "选择网银的安装路径:") return d.shows(kOk);
        return false;
    };
    for (const auto& [folder, shown] :
         {std::pair{"C:\\Picked", "C:\\Picked\\澜州银行网上银行安全组件\\澜州银行网银助手"},
          std::pair{"C:\\", "C:\\\\澜州银行网上银行安全组件\\澜州银行网银助手"}}) {
        screen.click(options, kBrowseButton);
        const Dialog browsing = screen.waitFor("folder picker", picker);
        screen.pickFolder(browsing, folder);
        screen.click(browsing, kOk);
        EXPECT_TRUE(bool(screen.waitFor("picked folder", showing(1017, shown)))) << folder;
    }
    screen.click(options, kOk);
    EXPECT_EQ(exitCodeOf(*program), 0);
    EXPECT_EQ(machine.registryValue("Path"), "C:\\澜州银行网上银行安全组件\\澜州银行网银助手");
    EXPECT_TRUE(
        fs::exists(machine.driveC(u8"澜州银行网上银行安全组件/澜州银行网银助手/readme.txt")));
    EXPECT_FALSE(fs::exists(machine.driveC(u8"users/Public/Desktop/澜州银行网银助手.lnk")));
}

TEST_F(WineUi, PagesOpenWhereTheLastOneWasDraggedNotWhereItWasMinimised) {
    machine.serve("1.0.0.2", "1");
    ServerFront front(machine.serverPort());
    machine.pointAt(front.port());
    front.keepWaiting("/assist/server");
    auto program = machine.start();
    const Dialog query = screen.waitFor("version query", showing(1029, "正在获取版本信息..."));
    ASSERT_TRUE(query);
    screen.drag(query, 120, 80);
    const Dialog dragged = screen.waitFor("version query dragged", movedFrom(query));
    EXPECT_EQ(at(dragged), std::make_pair(query.x + 120, query.y + 80));
    // The answer comes while the version query is minimised.
    screen.minimise(dragged);
    EXPECT_TRUE(bool(screen.waitFor("version query minimised", movedFrom(dragged))));
    front.letGo();
    const Dialog welcome = screen.waitFor("welcome page", kWelcome);
    EXPECT_EQ(at(welcome), at(dragged));

    screen.drag(welcome, -100, 60);
    const Dialog welcomeMoved = screen.waitFor("welcome page dragged", movedFrom(welcome));
    EXPECT_EQ(at(welcomeMoved), std::make_pair(welcome.x - 100, welcome.y + 60));
    screen.click(welcomeMoved, kOk);
    const Dialog options = screen.waitFor("options page", kOptions);
    EXPECT_EQ(at(options), at(welcomeMoved));
    screen.minimise(options);
    const Dialog minimised = screen.waitFor("options page minimised", movedFrom(options));
    screen.restore(minimised);
    EXPECT_TRUE(bool(screen.waitFor("options page restored", [&](const Dialog& d) {
        return d.handle == options.handle && at(d) == at(options);
    })));
    screen.click(options, kOk);
    const Dialog progress = screen.waitFor("progress dialog", kProgress);
    EXPECT_EQ(at(progress), at(options));
    EXPECT_EQ(exitCodeOf(*program), 0);
}

TEST_F(WineUi, UpdatePromptAsksBeforeEndingInternetExplorer) {
    olderInstallation(machine);
    const auto browser = startBrowser(machine);
    auto program = machine.start();
    const Dialog prompt = screen.waitFor("update prompt", kPrompt);
    const auto question = messageBox("安装过程中需关闭IE浏览器，是否继续？");
    screen.click(prompt, kOk);
    const Dialog asked = screen.waitFor("browser question", question);
    EXPECT_EQ(asked.title, "澜州银行网银助手");
    screen.click(asked, kNo);
    EXPECT_TRUE(bool(screen.waitFor("update prompt stays", kPrompt)));
    int code = 0;
    EXPECT_FALSE(browser->waitForExit(1s, code));

    screen.click(prompt, kOk);
    screen.click(screen.waitFor("browser question again", question), kYes);
    EXPECT_TRUE(browser->waitForExit(30s, code));
    EXPECT_EQ(exitCodeOf(*program), 0);
    EXPECT_EQ(readHostFile(machine.driveC("Assist/readme.txt").string()),
              readHostFile((machine.release() / "readme.txt").string()));
    EXPECT_EQ(machine.registryValue("Version"), "1.0.0.2");
    fs::remove_all(machine.driveC("Browser"));
}

TEST_F(WineUi, TheSuiteEndsADownloadingRunOnlyWithItsEndMessage) {
    olderInstallation(machine);
    ServerFront front(machine.serverPort());
    auto program = startHeldUpdate(machine, screen, front);
    ASSERT_EQ(runProgram(windowsProgram("wadriver.exe"), {"broadcast", "2"}, "/tmp").exitCode, 0);
    int code = -1;
    EXPECT_FALSE(program->waitForExit(2s, code)) << "ended by wParam 2";
    EXPECT_TRUE(bool(
        screen.waitFor("still downloading", showing(1020, "正在下载 Data\\bank_810.dat   3/3"))));
    // "-t" from a second process, as the suite sends it.
    EXPECT_EQ(machine.endCommand().exitCode, 0);
    EXPECT_EQ(exitCodeOf(*program, 30s), 0);
    expectOlderInstallationKept(machine);
}

}  // namespace
}  // namespace vaultaide::wine
