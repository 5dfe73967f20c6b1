// The signed manifests and the package download loop against vaultaide-server on 127.0.0.1,
// with a release published by vaultaide-publish.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/bank_profile.h"
#include "fakes/fake_platform.h"
#include "fakes/recording_progress_view.h"
#include "integration/server_process.h"
#include "packages/install_job.h"
#include "packages/package_download.h"
#include "packages/signed_manifests.h"
#include "protocol/built_in_keys.h"
#include "protocol/download.h"
#include "publish/manifest_writer.h"

namespace vaultaide {
namespace {

namespace fs = std::filesystem;
using fakes::readHostFile;
using fakes::writeHostFile;

const char* kConfig = R"({"banks": {"810": {"version": "1.0.0.2", "url": "{self}/releases/810",
                                              "update": "1"}}})";

class Packages : public ::testing::Test {
protected:
    fakes::TempDir source;  // common/ and bank/ release sources
    fakes::TempDir root;    // what the server serves
    fakes::FakeMachine machine;
    fakes::RecordingProgressView view;
    AppState state;
    std::unique_ptr<testing::ServerProcess> server;

    void SetUp() override {
        DownloadPath endpoint;
        applyBankProfile(state, endpoint);
        state.progressDialog = &view;
        // The installation folder exists before the manifests are fetched.
        fs::create_directories(machine.files.hostPath("C:\\Assist"));
        addSource("common", "", "readme.txt", "read me");
        addSource("common", "Data", "b.dat", std::string(9000, 'b'));
        addSource("common", "Tools", "c.dll", "tools");
        addSource("bank", "", "Nexio_810.exe", "main program");
        addSource("bank", "", "QuorlePop_810.exe", "pop-up");
        addSource("bank", "Data", "bank_810.dat", "bank data");
    }

    void addSource(const std::string& set, const std::string& path, const std::string& name,
                   const std::string& content) {
        const fs::path folder = source.path() / set / path;
        fs::create_directories(folder);
        writeHostFile((folder / name).string(), content);
    }

    std::string served(const std::string& relative) {
        return (root.path() / "releases" / "810" / relative).string();
    }

    void publish() {
        std::string error;
        ASSERT_TRUE(tools::publishRelease(
            (source.path() / "common").string(), (source.path() / "bank").string(), 0x810,
            VAULTAIDE_TEST_KEY_DIR, (root.path() / "releases" / "810").string(), error))
            << error;
        if (!server)
            server = std::make_unique<testing::ServerProcess>(kConfig, root.path().string());
    }

    std::unique_ptr<InstallJob> job(int mode) {
        auto made =
            std::make_unique<InstallJob>(&view, "KORVA", mode, server->base() + "/releases/810", 1,
                                         "1.0.0.2", "C:\\Assist", 0x810, machine.registry);
        made->unitsTotal = 6;
        return made;
    }

    std::string installed(const std::string& relative) {
        return readHostFile(machine.files.hostPath("C:\\Assist\\" + relative));
    }

    // A complete first installation.
    void installAll() {
        machine.writeFile("C:\\Assist\\DownLoad\\Data\\keep", "");
        machine.writeFile("C:\\Assist\\DownLoad\\Tools\\keep", "");
        auto first = job(0);
        ASSERT_TRUE(fetchSignedManifests(machine.platform, *first, builtInManifestPublicKey()));
        ASSERT_TRUE(downloadPackages(machine.platform, *first, kCommonManifest, state));
        ASSERT_TRUE(downloadPackages(machine.platform, *first, kBankManifest, state));
        view.log.clear();
    }

    std::vector<std::string> statuses() {
        std::vector<std::string> texts;
        for (const auto& line : view.log)
            if (line.rfind("text 1020 ", 0) == 0) texts.push_back(line.substr(10));
        return texts;
    }
};

TEST_F(Packages, FirstInstallationPlacesEveryFileWithProgress) {
    publish();
    machine.processes.running = {{40, "QUORLEPOP_810.EXE"}, {41, "nexio_810.exe"}};
    installAll();
    EXPECT_EQ(installed("readme.txt"), "read me");
    EXPECT_EQ(installed("Data\\b.dat"), std::string(9000, 'b'));
    EXPECT_EQ(installed("Data\\bank_810.dat"), "bank data");
    EXPECT_EQ(installed("Digest.xml"), readHostFile(served("Digest.xml")));
    EXPECT_TRUE(
        verifySignedFile(machine.files, "C:\\Assist\\Digest_810.xml", builtInManifestPublicKey()));
    // Both assistant programs were ended (with code 0) before their files were replaced.
    ASSERT_EQ(machine.processes.terminated.size(), 2u);
    EXPECT_EQ(machine.processes.terminated[0].id, 41u);
    EXPECT_EQ(machine.processes.terminated[1].id, 40u);
    EXPECT_EQ(machine.processes.terminated[0].exitCode, 0u);
    EXPECT_EQ(machine.processes.waitBounds[0], kTerminateWaitMs);
}

TEST_F(Packages, FirstInstallationReportsRunWideUnits) {
    publish();
    auto run = job(0);
    ASSERT_TRUE(fetchSignedManifests(machine.platform, *run, builtInManifestPublicKey()));
    EXPECT_EQ(view.log, (std::vector<std::string>{"text 1020 正在下载 配置文件", "refresh 1020",
                                                  "text 1020 正在下载 配置文件", "refresh 1020"}));
    view.log.clear();
    ASSERT_TRUE(downloadPackages(machine.platform, *run, kCommonManifest, state));
    // The first file: status, 0%, the transfer on the current bar, then the run-wide unit.
    const std::vector<std::string> first = {"text 1020 正在下载 readme.txt   1/6",
                                            "refresh 1020",
                                            "text 1023 0%",
                                            "refresh 1023",
                                            "bar 1021 range32 0 7",
                                            "bar 1021 pos 7 0",
                                            "text 1023 100.00%",
                                            "refresh 1023",
                                            "text 1024 16.67%",
                                            "refresh 1024",
                                            "bar 1022 pos 1 0"};
    ASSERT_GE(view.log.size(), first.size());
    EXPECT_EQ(std::vector<std::string>(view.log.begin(), view.log.begin() + first.size()), first);
    EXPECT_EQ(statuses(),
              (std::vector<std::string>{"正在下载 readme.txt   1/6", "正在下载 b.dat   2/6",
                                        "正在下载 c.dll   3/6"}));
    EXPECT_EQ(run->unitsDone, 4);
    ASSERT_TRUE(downloadPackages(machine.platform, *run, kBankManifest, state));
    EXPECT_EQ(view.log[view.log.size() - 3], "text 1024 100.00%");
    EXPECT_EQ(view.log.back(), "bar 1022 pos 6 0");
}

TEST_F(Packages, FirstInstallationStopsAtTheFirstFailedFile) {
    publish();
    fs::remove(served("Data/b.dat"));
    auto run = job(0);
    ASSERT_TRUE(fetchSignedManifests(machine.platform, *run, builtInManifestPublicKey()));
    EXPECT_FALSE(downloadPackages(machine.platform, *run, kCommonManifest, state));
    EXPECT_EQ(installed("readme.txt"), "read me");
    EXPECT_FALSE(machine.files.exists("C:\\Assist\\Data\\b.dat"));
    EXPECT_FALSE(machine.files.exists("C:\\Assist\\Tools\\c.dll"));
    EXPECT_FALSE(machine.files.isDirectory("C:\\Assist\\Tools"));
    EXPECT_EQ(statuses().back(), "下载b.dat 失败");
    EXPECT_EQ(view.log.back(), "text 2 下载失败");
    server->stop();
    const std::string log = server->log();
    EXPECT_NE(log.find("GET /releases/810//readme.txt HTTP/1.0 200"), std::string::npos) << log;
    EXPECT_EQ(log.find("c.dll"), std::string::npos);
}

TEST_F(Packages, TamperedServerFileIsRejectedByItsDigest) {
    publish();
    writeHostFile(served("Tools/c.dll"), "foreign");
    machine.writeFile("C:\\Assist\\Tools\\c.dll", "older");
    auto run = job(0);
    ASSERT_TRUE(fetchSignedManifests(machine.platform, *run, builtInManifestPublicKey()));
    EXPECT_FALSE(downloadPackages(machine.platform, *run, kCommonManifest, state));
    EXPECT_EQ(installed("Tools\\c.dll"), "older");
    EXPECT_FALSE(machine.files.exists("C:\\Assist\\Tools\\c.dll.download"));
    EXPECT_EQ(statuses().back(), "下载c.dll 失败");
}

TEST_F(Packages, OwnProgramIsMovedAsideBeforeItsNewCopy) {
    addSource("common", "", "vaultaide_810.exe", "new downloader");
    publish();
    machine.writeFile("C:\\Assist\\vaultaide_810.exe", "running downloader");
    machine.writeFile("C:\\Assist\\vaultaide_old.exe", "older still");
    auto run = job(0);
    ASSERT_TRUE(fetchSignedManifests(machine.platform, *run, builtInManifestPublicKey()));
    ASSERT_TRUE(downloadPackages(machine.platform, *run, kCommonManifest, state));
    EXPECT_EQ(installed("vaultaide_810.exe"), "new downloader");
    EXPECT_EQ(installed("vaultaide_old.exe"), "running downloader");
}

TEST_F(Packages, UpdateWithEverythingCurrent) {
    publish();
    installAll();
    auto update = job(1);
    ASSERT_TRUE(fetchSignedManifests(machine.platform, *update, builtInManifestPublicKey()));
    EXPECT_TRUE(machine.files.exists("C:\\Assist\\DownLoad\\Digest_810.xml"));
    view.log.clear();
    ASSERT_TRUE(downloadPackages(machine.platform, *update, kCommonManifest, state));
    EXPECT_TRUE(view.log.empty());
    ASSERT_TRUE(downloadPackages(machine.platform, *update, kBankManifest, state));
    EXPECT_EQ(view.log, (std::vector<std::string>{
                            "bar 1021 range32 0 1", "bar 1021 pos 1 0", "bar 1022 range32 0 1",
                            "bar 1022 pos 1 0", "text 1020 无需更新", "refresh 1020",
                            "text 1023 100%", "refresh 1023", "text 1024 100%", "refresh 1024"}));
    EXPECT_TRUE(update->pendingFiles.empty());
}

TEST_F(Packages, UpdateFetchesOneChangedFileOfEachSetTogether) {
    publish();
    installAll();
    machine.writeFile("C:\\Assist\\Data\\b.dat", "damaged");
    machine.writeFile("C:\\Assist\\Nexio_810.exe", "damaged");
    auto update = job(1);
    ASSERT_TRUE(fetchSignedManifests(machine.platform, *update, builtInManifestPublicKey()));
    view.log.clear();
    ASSERT_TRUE(downloadPackages(machine.platform, *update, kCommonManifest, state));
    EXPECT_EQ(update->pendingFiles, std::vector<std::string>{"Data\\b.dat"});
    EXPECT_TRUE(statuses().empty());
    ASSERT_TRUE(downloadPackages(machine.platform, *update, kBankManifest, state));
    EXPECT_EQ(view.log[0], "bar 1022 range 0 " + std::to_string(2 << 16));
    EXPECT_EQ(view.log[1], "bar 1022 pos 0 0");
    EXPECT_EQ(statuses(), (std::vector<std::string>{"正在下载 Data\\b.dat   1/2",
                                                    "正在下载 Nexio_810.exe   2/2"}));
    EXPECT_EQ(view.log.back(), "bar 1022 pos 2 0");
    EXPECT_EQ(installed("DownLoad\\Data\\b.dat"), std::string(9000, 'b'));
    EXPECT_EQ(installed("DownLoad\\Nexio_810.exe"), "main program");
    EXPECT_EQ(installed("Data\\b.dat"), "damaged");  // replacing is the next step's work
}

TEST_F(Packages, AnEntryChangedOnlyInTheInstalledManifestIsFetchedAgain) {
    publish();
    installAll();
    // The installed manifest names another digest for readme.txt than the new one does.
    std::string manifest = installed("Digest.xml");
    const std::string digest = base64Digest(sha1Digest("read me"));
    manifest.replace(manifest.find(digest), digest.size(), base64Digest(sha1Digest("old")));
    machine.writeFile("C:\\Assist\\Digest.xml", manifest);
    auto repair = job(2);
    ASSERT_TRUE(fetchSignedManifests(machine.platform, *repair, builtInManifestPublicKey()));
    ASSERT_TRUE(downloadPackages(machine.platform, *repair, kCommonManifest, state));
    EXPECT_EQ(repair->pendingFiles, std::vector<std::string>{"readme.txt"});
}

TEST_F(Packages, RepairDownloadsTheFirstSetAgainInTheSecondCall) {
    publish();
    installAll();
    machine.files.deleteFile("C:\\Assist\\Tools\\c.dll");
    machine.processes.running = {{50, "QuorlePop_810.exe"}};
    auto repair = job(2);
    ASSERT_TRUE(fetchSignedManifests(machine.platform, *repair, builtInManifestPublicKey()));
    view.log.clear();
    ASSERT_TRUE(downloadPackages(machine.platform, *repair, kCommonManifest, state));
    EXPECT_EQ(statuses(), std::vector<std::string>{"正在下载 Tools\\c.dll   1/1"});
    view.log.clear();
    ASSERT_TRUE(downloadPackages(machine.platform, *repair, kBankManifest, state));
    EXPECT_EQ(statuses(), std::vector<std::string>{"正在下载 Tools\\c.dll   1/1"});
    EXPECT_EQ(installed("DownLoad\\Tools\\c.dll"), "tools");
    // The pop-up program is ended even though its file is current.
    ASSERT_EQ(machine.processes.terminated.size(), 1u);
    EXPECT_EQ(machine.processes.terminated[0].id, 50u);
}

TEST_F(Packages, FailedUpdateDownloadsDoNotStopTheOthers) {
    publish();
    installAll();
    machine.files.deleteFile("C:\\Assist\\Data\\b.dat");
    machine.files.deleteFile("C:\\Assist\\readme.txt");
    fs::remove(served("readme.txt"));
    auto repair = job(2);
    ASSERT_TRUE(fetchSignedManifests(machine.platform, *repair, builtInManifestPublicKey()));
    view.log.clear();
    EXPECT_FALSE(downloadPackages(machine.platform, *repair, kCommonManifest, state));
    EXPECT_EQ(statuses(),
              (std::vector<std::string>{"正在下载 readme.txt   1/2", "下载readme.txt 失败",
                                        "正在下载 Data\\b.dat   2/2"}));
    EXPECT_EQ(installed("DownLoad\\Data\\b.dat"), std::string(9000, 'b'));
}

TEST_F(Packages, RepairWithAMissingInstalledManifestStillRepairs) {
    publish();
    installAll();
    machine.files.deleteFile("C:\\Assist\\Digest_810.xml");
    machine.files.deleteFile("C:\\Assist\\Data\\b.dat");
    machine.files.deleteFile("C:\\Assist\\Nexio_810.exe");
    auto repair = job(2);
    ASSERT_TRUE(fetchSignedManifests(machine.platform, *repair, builtInManifestPublicKey()));
    // Both manifests went to the installation folder, not into DownLoad.
    EXPECT_EQ(installed("Digest_810.xml"), readHostFile(served("Digest_810.xml")));
    EXPECT_FALSE(machine.files.exists("C:\\Assist\\DownLoad\\Digest.xml"));
    // The loop walks the copies this run stored, so the missing files are still found.
    ASSERT_TRUE(downloadPackages(machine.platform, *repair, kCommonManifest, state));
    ASSERT_TRUE(downloadPackages(machine.platform, *repair, kBankManifest, state));
    EXPECT_EQ(repair->pendingFiles, (std::vector<std::string>{"Data\\b.dat", "Nexio_810.exe"}));
    EXPECT_EQ(installed("DownLoad\\Nexio_810.exe"), "main program");
}

TEST_F(Packages, OnlyAManifestFetchedNowWithItsSignatureTakesItsPlace) {
    publish();
    ASSERT_TRUE(fetchSignedManifests(machine.platform, *job(0), builtInManifestPublicKey()));
    std::string verified, now;
    ASSERT_TRUE(machine.files.readFile("C:\\Assist\\Digest_810.xml", verified));

    // Changed after signing: refused, and the verified copy stays as it was.
    std::string bank = readHostFile(served("Digest_810.xml"));
    bank[bank.find("bank_810.dat")] = 'B';
    writeHostFile(served("Digest_810.xml"), bank);
    EXPECT_FALSE(fetchSignedManifests(machine.platform, *job(0), builtInManifestPublicKey()));
    ASSERT_TRUE(machine.files.readFile("C:\\Assist\\Digest_810.xml", now));
    EXPECT_EQ(now, verified);
    EXPECT_FALSE(machine.files.exists("C:\\Assist\\" + std::string(kStagingName)));

    // Gone from the server: the copies a run stored earlier do not stand in for it.
    std::filesystem::remove(served("Digest.xml"));
    std::filesystem::remove(served("Digest_810.xml"));
    EXPECT_FALSE(fetchSignedManifests(machine.platform, *job(0), builtInManifestPublicKey()));
}

TEST_F(Packages, SignedNamesThatLeadOutsideTheInstallationFailTheRun) {
    publish();
    const std::string key =
        readHostFile(std::string(VAULTAIDE_TEST_KEY_DIR) + "/manifest_private.pem");
    fs::create_directories(machine.files.hostPath("C:\\Assist\\DownLoad"));
    for (int mode : {0, 2}) {
        for (const auto& [path, name] :
             std::vector<std::pair<std::string, std::string>>{{"..", "evil.dll"},
                                                              {"", "..\\evil.dll"},
                                                              {"Data\\..", "evil.dll"},
                                                              {"", "C:evil.dll"},
                                                              {"", "nul.txt"},
                                                              {"Com1", "evil.dll"}}) {
            std::string manifest, error;
            ASSERT_TRUE(tools::writeSignedManifest({{path, name, "AAAA"}}, key, manifest, error));
            writeHostFile(served("Digest.xml"), manifest);
            view.log.clear();
            auto run = job(mode);
            ASSERT_TRUE(fetchSignedManifests(machine.platform, *run, builtInManifestPublicKey()));
            EXPECT_FALSE(downloadPackages(machine.platform, *run, kCommonManifest, state) &&
                         downloadPackages(machine.platform, *run, kBankManifest, state))
                << path << "|" << name;
            const std::string shown = mode == 0 || path.empty() ? name : path + "\\" + name;
            for (const char* line : {"text 2 下载失败", ""}) {
                const std::string wanted = *line ? line : "text 1020 下载" + shown + " 失败";
                EXPECT_NE(std::find(view.log.begin(), view.log.end(), wanted), view.log.end())
                    << wanted;
            }
        }
    }
    EXPECT_FALSE(fs::exists(machine.files.hostPath("C:\\evil.dll")));
    EXPECT_FALSE(fs::exists(machine.files.hostPath("C:\\Assist\\evil.dll")));
}

}  // namespace
}  // namespace vaultaide
