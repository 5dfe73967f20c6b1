// Whole runs of the install sequence on a fake machine: the order of the steps in each mode,
// the stopping rule, the unit count, the registry and the all-or-nothing replacement.
#include "install/install_sequence.h"

#include <gtest/gtest.h>

#include <functional>

#include "app/version_check.h"
#include "install/file_replacement.h"
#include "install/registration.h"
#include "install/runtimes.h"
#include "packages/install_job.h"
#include "packages/package_download.h"
#include "protocol/http_settings.h"
#include "unit/install_bench.h"

namespace vaultaide {
namespace {

using Lines = std::vector<std::string>;
using testing::InstallBench;

const std::string kUninstallKey = std::string(kUninstallKeyBase) + "澜州银行网银助手";
const Lines kFinalLaunch = {
    "status 完成安装,准备启动助手",
    "start C:\\Assist\\QuorlePop.exe [-t] shown as user",
    "start C:\\Assist\\QuorlePop.exe [] shown as user",
    "start C:\\Assist\\Nexio_810.exe [-t] shown as user",
    "start C:\\Assist\\Nexio_810.exe [] shown as user",
    "ended 0",
};
const Lines kStopAssistant = {
    "start C:\\Assist\\Nexio_810.exe [ -t] hidden wait 30000",
    "start C:\\Assist\\QuorlePop_810.exe [ -t] hidden wait 30000",
};

Lines join(std::initializer_list<Lines> parts) {
    Lines all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// A fresh installation, an update of one changed file and a repair of a deleted one, each
// with every step it takes in order: legacy removal only in mode 0, replacement only in modes 1
// and 2, shortcuts not in mode 2.
TEST(InstallSequence, EachModeRunsItsStepsInOrder) {
    InstallBench b;
    b.app.runAtStartup = true;
    b.run(kModeInstall);
    const Lines install = join({
        {"status 卸载Orvel老版助手",
         "start C:\\Windows\\system32\\msiexec.exe [/X{5B0E6A13-8C4F-4E2B-9D71-2A6F3C8E1B40} "
         "/quiet] hidden wait 300000",
         "status 正在下载 配置文件", "status 正在下载 配置文件",
         // five entries and both runtimes
         "overall range32 0 7", "status 正在下载 vcredist_x86.exe",
         "status 正在安装 vcredist_x86.exe",
         "start C:\\Windows\\Temp\\vaultaide-0\\vcredist_x86.exe [/q] normal",
         "status 正在下载 vcredist_x64.exe", "status 正在安装 vcredist_x64.exe",
         "start C:\\Windows\\Temp\\vaultaide-0\\vcredist_x64.exe [/q] normal",
         "status 正在下载 QuorlePop.exe   3/7", "status 正在下载 skin.dat   4/7",
         "status 正在下载 Nexio_810.exe   5/7", "status 正在下载 QuorlePop_810.exe   6/7",
         "status 正在下载 uninst_810.exe   7/7"},
        kStopAssistant,
        {"cancel 下载完成", "status 创建桌面快捷方式", "status 创建快速启动选项"},
        kFinalLaunch,
    });
    EXPECT_EQ(b.journal, install);
    EXPECT_EQ(b.workerFinished, 1);
    // After the stop 2 s, before the final starts 1 s, between the two starts of each 0.5 s.
    const std::vector<uint32_t> waits = {2000, 1000, 500, 500};
    ASSERT_GE(b.machine.kernel.sleeps.size(), waits.size());
    EXPECT_EQ(std::vector<uint32_t>(b.machine.kernel.sleeps.end() - waits.size(),
                                    b.machine.kernel.sleeps.end()),
              waits);
    EXPECT_EQ(b.installed("Data\\skin.dat"), std::string(5000, 's'));
    EXPECT_EQ(b.machine.shell.comScopes, 1);
    EXPECT_EQ(b.machine.shell.comDepth, 0);

    b.source("common", "Data/skin.dat", "new skin");
    b.publish();
    b.app.serverVersion = "1.0.0.3";
    b.app.runAtStartup = false;
    b.journal.clear();
    b.run(kModeUpdate);
    const Lines update = join({
        {"status 正在下载 配置文件", "status 正在下载 配置文件", "overall range32 0 5",
         "overall range 0 1", "status 正在下载 Data\\skin.dat   1/1"},
        kStopAssistant,
        {"cancel 下载完成", "status 创建桌面快捷方式", "status 创建快速启动选项"},
        kFinalLaunch,
    });
    EXPECT_EQ(b.journal, update);
    EXPECT_EQ(b.installed("Data\\skin.dat"), "new skin");
    EXPECT_EQ(b.values(ownRegistryKeyPath(b.app))["version"], "1.0.0.3");

    b.machine.files.deleteFile("C:\\Assist\\uninst_810.exe");
    b.machine.files.deleteFile("C:\\Users\\Public\\Desktop\\澜州银行网银助手.lnk");
    b.journal.clear();
    b.run(kModeRepair);
    const Lines repair = join({
        {"status 正在下载 配置文件", "status 正在下载 配置文件", "overall range32 0 5",
         "overall range32 0 1", "status 无需更新", "overall range 0 1",
         "status 正在下载 uninst_810.exe   1/1"},
        kStopAssistant,
        {"cancel 下载完成"},
        kFinalLaunch,
    });
    EXPECT_EQ(b.journal, repair);
    EXPECT_EQ(b.installed("uninst_810.exe"), "uninstaller 1");
    EXPECT_FALSE(b.machine.files.exists("C:\\Users\\Public\\Desktop\\澜州银行网银助手.lnk"));
    // The download folder keeps its folders and no file; the replaced files' copies are gone.
    std::vector<Files::Entry> left;
    ASSERT_TRUE(b.machine.files.listDirectory("C:\\Assist\\DownLoad\\.backup", left));
    EXPECT_TRUE(left.empty());
    EXPECT_FALSE(b.machine.files.exists("C:\\Assist\\DownLoad\\Digest.xml"));
    EXPECT_TRUE(b.machine.files.isDirectory("C:\\Assist\\DownLoad\\Plugins"));
}

// Steps 3, 5, 10 and 11 stop the run: the worker is finished, returns 0, leaves the dialog as
// the failing step left it, and registers, links and starts nothing.
TEST(InstallSequence, FailuresOfTheStoppingStepsEndTheRun) {
    struct Case {
        const char* name;
        std::function<void(InstallBench&)> prepare;
        Lines tail;  // the journal's last lines
    };
    const Case cases[] = {
        {"folder",
         [](InstallBench& b) { b.app.installPath = "Q:\\Assist"; },
         {"start C:\\Windows\\system32\\msiexec.exe [/X{5B0E6A13-8C4F-4E2B-9D71-2A6F3C8E1B40} "
          "/quiet] hidden wait 300000",
          "returned 0"}},
        {"manifests",
         [](InstallBench& b) {
             std::filesystem::remove(b.served.path() / "releases" / "810" / "Digest_810.xml");
         },
         {"status 正在下载 配置文件", "status 正在下载 配置文件", "returned 0"}},
        {"signed bytes that do not parse",
         [](InstallBench& b) {
             const auto path = b.served.path() / "releases" / "810" / "Digest_810.xml";
             std::string bytes = fakes::readHostFile(path);
             bytes.replace(bytes.find("</Sign>"), 9, "xxxxxxxxx");  // outside the signed bytes
             fakes::writeHostFile(path, bytes);
         },
         {"status 正在下载 配置文件", "status 正在下载 配置文件", "returned 0"}},
        {"an older release under a forged version",
         [](InstallBench& b) {
             b.publish("1.0.0.1");
             b.app.serverVersion = "999.0.0.0";
         },
         {"status 正在下载 配置文件", "returned 0"}},
        {"another bank's manifest",
         [](InstallBench& b) {
             namespace fs = std::filesystem;
             b.publish("1.0.0.2");
             b.publish("1.0.0.2", 0x811, "811");
             const fs::path releases = b.served.path() / "releases";
             fs::copy_file(releases / "811" / "Digest_811.xml", releases / "810" / "Digest_810.xml",
                           fs::copy_options::overwrite_existing);
         },
         {"status 正在下载 配置文件", "status 正在下载 配置文件", "returned 0"}},
        {"common set",
         [](InstallBench& b) {
             std::filesystem::remove(b.served.path() / "releases" / "810" / "Data" / "skin.dat");
         },
         {"status 正在下载 QuorlePop.exe   3/7", "status 正在下载 skin.dat   4/7",
          "status 下载skin.dat 失败", "cancel 下载失败", "returned 0"}},
        {"stop assistant",
         [](InstallBench& b) { b.machine.writeFile("C:\\Assist\\DownLoad", "not a folder"); },
         {"status 正在下载 uninst_810.exe   7/7", "returned 0"}},
    };
    for (const Case& c : cases) {
        InstallBench b;
        c.prepare(b);
        b.run(kModeInstall);
        ASSERT_GE(b.journal.size(), c.tail.size()) << c.name;
        EXPECT_EQ(Lines(b.journal.end() - c.tail.size(), b.journal.end()), c.tail) << c.name;
        EXPECT_EQ(b.workerFinished, 1) << c.name;
        EXPECT_FALSE(b.machine.registry.hasKey(ownRegistryKeyPath(b.app))) << c.name;
        EXPECT_FALSE(b.machine.files.exists("C:\\Users\\Public\\Desktop\\澜州银行网银助手.lnk"));
    }
}

// The units of the overall bar: both manifests' entries plus the runtime installers needed.
TEST(InstallSequence, UnitsCountEntriesAndNeededRuntimes) {
    struct Case {
        OsVersion version;
        uint16_t architecture;
        bool x86Marker;
        const char* range;
    };
    const Case cases[] = {
        {{true, kPlatformWin32Nt, 6, 1}, kArchitectureAmd64, false, "overall range32 0 5"},
        {{true, kPlatformWin32Nt, 6, 0}, kArchitectureX86, false, "overall range32 0 6"},
        {{true, kPlatformWin32Nt, 10, 0}, kArchitectureAmd64, true, "overall range32 0 6"},
        {{true, kPlatformWin32Nt, 5, 1}, kArchitectureAmd64, false, "overall range32 0 7"},
        {{true, 1, 4, 10}, kArchitectureX86, true, "overall range32 0 7"},
    };
    for (const Case& c : cases) {
        InstallBench b;
        b.machine.system.version = c.version;
        b.machine.system.architecture = c.architecture;
        if (c.x86Marker)
            b.machine.registry.setValue(
                "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                "{A09D5493-0D9F-3211-B3BF-DD7ABBB318C1}",
                "Version", "");
        b.run(kModeInstall);
        EXPECT_EQ(b.journal[4], c.range) << c.version.major << "." << c.version.minor;
    }
}

// An installer runs only when it was fetched whole into the private folder and carries the
// vendor's signature; anything else is shown as a failed download, counts no unit, and the
// run goes on with the next installer.
TEST(InstallSequence, RuntimeInstallersStartOnlyWithTheVendorsSignature) {
    namespace fs = std::filesystem;
    struct Case {
        const char* name;
        std::function<void(InstallBench&, const fs::path& servedX86)> change;
    };
    const Case cases[] = {
        {"missing", [](InstallBench&, const fs::path& x86) { fs::remove(x86); }},
        {"unsigned",
         [](InstallBench&, const fs::path& x86) { fakes::writeHostFile(x86, "MZ anything"); }},
        {"signed by another",
         [](InstallBench& b, const fs::path& x86) {
             fakes::writeHostFile(x86, "MZ other");
             b.machine.processes.signedBy["MZ other"] = "Someone Else";
         }},
        {"larger than an installer may be",
         [](InstallBench& b, const fs::path& x86) {
             fs::resize_file(x86, kMaxRuntimeInstallerBytes + 1);
             b.machine.processes.signedBy[fakes::readHostFile(x86)] = b.app.runtimeSigner;
         }},
    };
    for (const Case& c : cases) {
        InstallBench b;
        c.change(b, b.served.path() / fs::path(runtimeX86().path).relative_path());
        InstallJob job(&b.view, "KORVA", kModeInstall, b.app.downloadUrl, 1, "1.0.0.2",
                       "C:\\Assist", 0x810, b.machine.registry);
        job.unitsTotal = 7;
        EXPECT_TRUE(installRuntimes(b.platform, b.app, job, 1, 1));
        EXPECT_EQ(b.journal,
                  (Lines{"status 正在下载 vcredist_x86.exe", "status 下载vcredist_x86.exe 失败",
                         "cancel 下载VS库失败", "status 正在下载 vcredist_x64.exe",
                         "status 正在安装 vcredist_x64.exe",
                         "start C:\\Windows\\Temp\\vaultaide-0\\vcredist_x64.exe [/q] normal"}))
            << c.name;
        EXPECT_EQ(job.unitsDone, 2) << c.name;
    }
    // Without the private folder nothing is fetched, let alone started.
    InstallBench b;
    fs::create_directories(b.machine.files.hostPath("C:\\Windows"));
    fakes::writeHostFile(b.machine.files.hostPath("C:\\Windows\\Temp"), "a file");
    InstallJob job(&b.view, "KORVA", kModeInstall, b.app.downloadUrl, 1, "1.0.0.2", "C:\\Assist",
                   0x810, b.machine.registry);
    EXPECT_TRUE(installRuntimes(b.platform, b.app, job, 1, 0));
    EXPECT_EQ(b.journal, (Lines{"status 正在下载 vcredist_x86.exe",
                                "status 下载vcredist_x86.exe 失败", "cancel 下载VS库失败"}));
    EXPECT_TRUE(b.http.urls.empty());
}

// Every download gives up on a silent host and has a size limit for its kind: manifests
// 16 MiB, package files 2 GiB, runtime installers 64 MiB.
TEST(InstallSequence, DownloadsAreBoundedInTimeAndSize) {
    InstallBench b;
    b.machine.system.version = {true, kPlatformWin32Nt, 6, 0};
    b.run(kModeInstall);
    ASSERT_EQ(b.http.urls.size(), 9u);
    for (size_t i = 0; i < b.http.urls.size(); ++i) {
        const std::string& url = b.http.urls[i];
        const uint64_t limit = url.find("/Digest") != std::string::npos ? kMaxManifestBytes
                               : url.find("/download/") != std::string::npos
                                   ? kMaxRuntimeInstallerBytes
                                   : kMaxPackageFileBytes;
        EXPECT_EQ(b.http.settings[i].maxBytes, limit) << url;
        EXPECT_EQ(b.http.settings[i].timeoutMs, kDownloadTimeoutMs) << url;
    }
}

// Manifests that name the announced release and this bank are installed; manifests without
// these attributes, as other tools make them, are installed for any announced version.
TEST(InstallSequence, ManifestsNamingTheAnnouncedReleaseOrNoneAreInstalled) {
    const std::pair<std::string, std::string> cases[] = {{"1.0.0.2", "1.0.0.2"}, {"", "999.0.0.0"}};
    for (const auto& [published, announced] : cases) {
        InstallBench b;
        b.publish(published);
        b.app.serverVersion = announced;
        b.run(kModeInstall);
        EXPECT_EQ(b.values(ownRegistryKeyPath(b.app))["version"], announced) << published;
        EXPECT_EQ(b.installed("Nexio_810.exe"), "main 1") << published;
    }
}

TEST(InstallSequence, RegistrationWritesEveryValueAndFollowsTheAutostartChoice) {
    InstallBench b;
    b.app.runAtStartup = true;
    b.machine.registry.setValue(kUninstallKey, "Comments", "older");
    b.run(kModeInstall);
    using Values = std::map<std::string, std::string>;
    // Stored without terminator: the data is the text and no more. The own key's empty vendor
    // component folds away, as the registry folds repeated "\".
    EXPECT_EQ(b.values("Software\\Vellumark\\Nexio\\KORVA\\810"),
              (Values{{"version", "1.0.0.2"}, {"path", "C:\\Assist"}, {"bankid", "810"}}));
    EXPECT_EQ(b.values(kUninstallKey), (Values{{"comments", "older"},
                                               {"uninstallstring", "C:\\Assist\\uninst_810.exe"},
                                               {"publisher", "Talvik科技股份有限公司"},
                                               {"displayname", "澜州银行网银助手"},
                                               {"displayversion", "1.0.0.2"},
                                               {"displayicon", "C:\\Assist\\Nexio_810.exe"}}));
    EXPECT_EQ(b.values(kRunKey, RegistryView::View64),
              (Values{{"澜州银行网银助手", "C:\\Assist\\QuorlePop_810.exe"}}));
    EXPECT_TRUE(b.values(kRunKey, RegistryView::View32).empty());

    // An update never asks about autostart: the entry goes.
    b.app.runAtStartup = false;
    b.run(kModeUpdate);
    EXPECT_TRUE(b.values(kRunKey, RegistryView::View64).empty());
}

// Whichever installed file another program holds (so it cannot be renamed), the installation
// stays wholly as it was: the files replaced before it are restored, the user is told, the
// process ends, and the old version stays registered.
TEST(InstallSequence, AFileInUseLeavesTheWholeInstallationAsItWas) {
    const char* staged[] = {"Digest.xml", "Digest_810.xml", "QuorlePop.exe", "Data\\skin.dat",
                            "Nexio_810.exe"};
    for (const char* held : staged) {
        InstallBench b;
        b.run(kModeInstall);
        const auto before = b.installedFiles();
        b.source("common", "QuorlePop.exe", "pop-up 2");
        b.source("common", "Data/skin.dat", "new skin");
        b.source("bank", "Nexio_810.exe", "main 2");
        b.publish();
        b.app.serverVersion = "1.0.0.3";
        const auto hold = b.machine.files.openLocked(std::string("C:\\Assist\\") + held);
        ASSERT_TRUE(hold) << held;
        b.journal.clear();
        b.run(kModeUpdate);

        EXPECT_EQ(b.journal.back(), "ended 0") << held;
        ASSERT_EQ(b.machine.ui.boxes.size(), 1u) << held;
        EXPECT_EQ(b.machine.ui.boxes[0].text, kReplaceFailedText);
        EXPECT_EQ(b.machine.ui.boxes[0].caption, "澜州银行网银助手");
        EXPECT_EQ(b.machine.ui.boxes[0].style, kMbOk | kMbIconWarning);
        EXPECT_EQ(b.installedFiles(), before) << held;
        EXPECT_EQ(b.values(ownRegistryKeyPath(b.app))["version"], "1.0.0.2") << held;
    }
}

}  // namespace
}  // namespace vaultaide
