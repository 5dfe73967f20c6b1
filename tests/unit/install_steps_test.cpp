// The install steps one by one where a whole run does not show them: legacy removal per group,
// the shortcut choices, the forced-update hand-off, and names formed from other bank codes.
#include <gtest/gtest.h>

#include <functional>

#include "app/bank_profile.h"
#include "fakes/fake_platform.h"
#include "install/legacy_removal.h"
#include "install/registration.h"
#include "install/shortcuts.h"
#include "install/update_handoff.h"
#include "packages/install_job.h"
#include "ui/progress_events.h"

namespace vaultaide {
namespace {

using Lines = std::vector<std::string>;

class StatusLog : public NullProgress {
public:
    void status(const std::string& text) override { texts.push_back(text); }
    Lines texts;
};

AppState profile(int32_t bankCode) {
    AppState app;
    DownloadPath endpoint;
    applyBankProfile(app, endpoint, bankCode);
    app.installPath = "C:\\Assist";
    return app;
}

TEST(LegacyRemoval, EachGroupRemovesItsOldProduct) {
    struct Case {
        int32_t bankCode;
        std::function<void(fakes::FakeMachine&)> prepare;
        Lines statuses;
        Lines started;
        Lines filesAfter;  // in the current directory C:\work
    };
    const Case cases[] = {
        // The Windows Installer group: the older QVupdate.exe goes, the downloader's own file
        // carries that name during the removal and its build name afterwards.
        {2064,
         [](fakes::FakeMachine& m) {
             m.writeFile("C:\\work\\QVupdate.exe", "older");
             m.writeFile("C:\\work\\killprocess.vbs", "script");
             m.writeFile("C:\\work\\vaultaide_810.exe", "self");
             m.kernel.modulePath = "C:\\work\\vaultaide_810.exe";
         },
         {"卸载Orvel老版助手"},
         {"C:\\Windows\\system32\\msiexec.exe [/X{5B0E6A13-8C4F-4E2B-9D71-2A6F3C8E1B40} /quiet] "
          "hidden wait 300000"},
         {"killprocess.vbs=", "vaultaide_810.exe=self"}},
        {2070,
         [](fakes::FakeMachine& m) {
             m.writeFile("C:\\work\\setup.exe", "self");
             m.kernel.modulePath = "C:\\Downloads\\setup.exe";
         },
         {"卸载Orvel老版助手"},
         {"C:\\Windows\\system32\\msiexec.exe [/X{0C7A2D55-3E19-4B86-A0F2-7D4C91B35E68} /quiet] "
          "hidden wait 300000"},
         {"vaultaide_816.exe=self"}},
        // Own uninstaller: the running old program ends first; only the second path exists.
        {358,
         [](fakes::FakeMachine& m) {
             m.processes.running = {{5, "vqxassistanttool.exe"}};
             m.writeFile("C:\\Program Files\\VQX\\EBankingAssistant\\uninst.exe", "u");
         },
         {"卸载Tamsin老版助手"},
         {"C:\\Program Files\\VQX\\EBankingAssistant\\uninst.exe [/S] hidden wait 300000"},
         {}},
        {2097, [](fakes::FakeMachine&) {}, {"卸载Wenzor老版助手"}, {}, {}},
        {2151, [](fakes::FakeMachine&) {}, {}, {}, {}},
    };
    for (const Case& c : cases) {
        fakes::FakeMachine m;
        c.prepare(m);
        StatusLog progress;
        EXPECT_TRUE(removeLegacyAssistant(m.platform, profile(c.bankCode), progress));
        EXPECT_EQ(progress.texts, c.statuses) << c.bankCode;
        EXPECT_EQ(m.processes.started, c.started) << c.bankCode;
        Lines files;
        std::vector<Files::Entry> entries;
        m.files.listDirectory("C:\\work", entries);
        for (const auto& entry : entries) {
            std::string bytes;
            m.files.readFile("C:\\work\\" + entry.name, bytes);
            files.push_back(entry.name + "=" + bytes);
        }
        std::sort(files.begin(), files.end());
        EXPECT_EQ(files, c.filesAfter) << c.bankCode;
    }
}

TEST(Shortcuts, TheFlagsDecideWhichLinksAreMade) {
    const std::string desktop = "C:\\Users\\Public\\Desktop\\澜州银行网银助手.lnk";
    const std::string group =
        "C:\\ProgramData\\Start Menu\\Programs\\澜州银行网上银行安全组件\\澜州银行网银助手";
    const std::string quick =
        "C:\\Users\\user\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch";
    struct Case {
        bool desktop, group, quickLaunch, quickLaunchFolderExists;
        Lines statuses;
        Lines links;  // link path -> target
    };
    const Case cases[] = {
        {true,
         true,
         true,
         true,
         {"创建桌面快捷方式", "创建快速启动选项"},
         {desktop + " -> C:\\Assist\\Nexio_810.exe",
          group + "\\澜州银行网银助手.lnk -> C:\\Assist\\Nexio_810.exe",
          group + "\\澜州银行网银助手卸载程序.lnk -> C:\\Assist\\uninst_810.exe",
          quick + "\\澜州银行网银助手.lnk -> C:\\Assist\\Nexio_810.exe"}},
        {false,
         true,
         false,
         true,
         {},
         {group + "\\澜州银行网银助手.lnk -> C:\\Assist\\Nexio_810.exe",
          group + "\\澜州银行网银助手卸载程序.lnk -> C:\\Assist\\uninst_810.exe"}},
        {false, false, true, false, {"创建快速启动选项"}, {}},
        {false, false, false, true, {}, {}},
    };
    for (const Case& c : cases) {
        fakes::FakeMachine m;
        m.writeFile(desktop, "an older link");
        if (c.quickLaunchFolderExists) std::filesystem::create_directories(m.files.hostPath(quick));
        AppState app = profile(2064);
        app.createDesktopShortcut = c.desktop;
        app.createProgramGroup = c.group;
        app.createQuickLaunch = c.quickLaunch;
        StatusLog progress;
        {
            const auto com = m.shell.initializeCom();
            createShortcuts(m.platform, app, progress);
        }
        EXPECT_EQ(progress.texts, c.statuses);
        Lines links;
        for (const auto& item : std::filesystem::recursive_directory_iterator(m.root.path())) {
            const std::string target = fakes::linkTarget(fakes::readHostFile(item.path().string()));
            if (item.is_regular_file() && !target.empty()) {
                std::string path =
                    "C:" + item.path().string().substr(m.root.path().string().size() + 2);
                std::replace(path.begin(), path.end(), '/', '\\');
                links.push_back(path + " -> " + target);
            }
        }
        std::sort(links.begin(), links.end());
        Lines expected = c.links;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(links, expected) << c.desktop << c.group << c.quickLaunch;
        const Lines notified = {
            "created " + group,
            "changed C:\\ProgramData\\Start Menu\\Programs\\澜州银行网上银行安全组件"};
        EXPECT_EQ(m.shell.notifications, c.group ? notified : Lines());
    }
}

TEST(Shortcuts, UnresolvedFoldersAndOverlongPathsMakeNoLink) {
    fakes::FakeMachine m;
    m.shell.folders.erase(SpecialFolder::CommonPrograms);
    AppState app = profile(2064);
    StatusLog progress;
    const auto com = m.shell.initializeCom();
    createShortcuts(m.platform, app, progress);
    // No group built from an empty base at the root of the drive.
    EXPECT_TRUE(m.shell.notifications.empty());

    m.files.createDirectory("C:\\L");
    EXPECT_TRUE(createShortcut(m.shell, "C:\\L", std::string(259 - 9, 'a') + ".lnk", "C:\\t"));
    EXPECT_FALSE(createShortcut(m.shell, "C:\\L", std::string(260 - 9, 'a') + ".lnk", "C:\\t"));
}

TEST(Handoff, OnlyAForcedUpdateStartsTheMainProgramAndSendsTheCommand) {
    for (const auto& [mode, updateMode] :
         std::vector<std::pair<int, int32_t>>{{1, 2}, {1, 1}, {0, 2}, {2, 2}}) {
        fakes::FakeMachine m;
        m.writeFile("C:\\Assist\\Nexio_810.exe", "main");
        m.kernel.pipes["\\\\.\\pipe\\KORVA_PopKORVA810"];
        AppState app = profile(2064);
        InstallJob job(nullptr, "KORVA", mode, "http://x", updateMode, "1", "C:\\Assist", 0x810,
                       m.registry);
        int hidden = 0;
        EXPECT_TRUE(forcedUpdateHandoff(m.platform, app, job, [&] { ++hidden; }));
        const bool forced = mode == 1 && updateMode == 2;
        EXPECT_EQ(hidden, forced ? 1 : 0);
        const Lines started = {"C:\\Assist\\Nexio_810.exe [-t] normal as user"};
        const Lines sent = {"KORVA_PopUpdatePopCmd||"};
        EXPECT_EQ(m.processes.started, forced ? started : Lines());
        EXPECT_EQ(m.kernel.pipes.begin()->second, forced ? sent : Lines());
        EXPECT_EQ(m.kernel.sleeps, forced ? std::vector<uint32_t>{3000} : std::vector<uint32_t>());
    }
    EXPECT_EQ(popCommandMessage("UpdatePopCmd", "").size(), 23u);
    fakes::FakeMachine m;
    EXPECT_FALSE(sendPopCommand(m.kernel, "UpdatePopCmd", ""));  // nobody listens
}

TEST(Handoff, StopAssistantBoundsItsWaitsAndNamesByBankCode) {
    fakes::FakeMachine m;
    AppState app = profile(5);
    m.writeFile("C:\\Assist\\Nexio_005.exe", "main");
    m.writeFile("C:\\Assist\\QuorlePop_5.exe", "pop-up");
    m.processes.overdue = {"Nexio_005.exe"};
    m.processes.running = {{7, "QUORLEPOP_5.EXE"}, {8, "QuorlePop_005.exe"}};
    InstallJob job(nullptr, "KORVA", 1, "http://x", 1, "1", "C:\\Assist", 5, m.registry);
    EXPECT_TRUE(stopAssistant(m.platform, app, job));
    EXPECT_EQ(m.processes.started, (Lines{"C:\\Assist\\Nexio_005.exe [ -t] hidden wait 30000",
                                          "C:\\Assist\\QuorlePop_5.exe [ -t] hidden wait 30000"}));
    ASSERT_EQ(m.processes.terminated.size(), 1u);
    EXPECT_EQ(m.processes.terminated[0].id, 7u);
    EXPECT_EQ(m.kernel.sleeps, std::vector<uint32_t>{2000});
    EXPECT_TRUE(m.files.isDirectory("C:\\Assist\\DownLoad"));
    // The autostart entry pads the code to three digits.
    EXPECT_EQ(autostartCommand(app, job), "C:\\Assist\\QuorlePop_005.exe");
}

}  // namespace
}  // namespace vaultaide
