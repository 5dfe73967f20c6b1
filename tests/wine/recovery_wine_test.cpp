// Updates that end wholly one release, with the Windows program under Wine against
// vaultaide-server: a stopped update's stale downloads, the program killed while it downloads
// and while it replaces files, Cancel answered Yes while it replaces them, the program
// updating its own file, and killed at each point of replacing it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "protocol/crypto.h"
#include "wine/screen.h"
#include "wine/ui_machine.h"

namespace vaultaide::wine {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Tree = std::map<std::string, std::string>;  // relative path -> digest

constexpr int kCancel = 2, kYes = 6;
// Enough data that replacing it takes a while under Wine, so a kill or a Cancel lands inside;
// a quarter of it is enough to kill a download half way.
constexpr int kBulkFiles = 40;
constexpr size_t kSlowReplacementBytes = 2u << 20;
constexpr size_t kSlowDownloadBytes = 512u << 10;
constexpr size_t kOwnFilePadding = 64u << 20;

Tree treeOf(const fs::path& root, bool skipDownloadFolder) {
    Tree tree;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(item.path(), root).string();
        if (!item.is_regular_file() || relative == "assistant.log" ||
            (skipDownloadFolder && relative.rfind("DownLoad", 0) == 0))
            continue;
        tree[relative] = base64Digest(sha1Digest(readHostFile(item.path().string())));
    }
    return tree;
}

class WineRecovery : public ::testing::Test {
protected:
    UiMachine machine;
    Screen screen{screenshotDirectory()};
    fakes::TempDir sources;

    // Under Wine the stored text carries its terminator.
    std::string version() const {
        std::string text = machine.registryValue("Version");
        return text.substr(0, text.find('\0'));
    }
    fs::path installation() const { return machine.driveC("Assist"); }
    fs::path served(const std::string& release) const {
        return machine.release().parent_path() / release;
    }
    fs::path backup(const std::string& name) const {
        return installation() / "DownLoad" / ".backup" / name;
    }

    // Publishes release NAME ("rN", version 1.0.0.N): the assistant's stub programs, readme.txt and
    // the data files given (Data/NAME -> content); with bulkBytes, 40 files of that size whose
    // bytes name the release.
    void publish(const std::string& name, const std::map<std::string, std::string>& data,
                 size_t bulkBytes = 0, const std::string& ownFile = "") {
        const fs::path common = sources.path() / name / "common";
        const fs::path bank = sources.path() / name / "bank";
        fs::create_directories(common / "Data");
        fs::create_directories(bank);
        fs::copy_file(stubProgram("QuorlePop.exe"), common / "QuorlePop.exe");
        for (const char* program : {"Nexio_810.exe", "QuorlePop_810.exe", "uninst_810.exe"})
            fs::copy_file(stubProgram(program), bank / program);
        writeHostFile((common / "readme.txt").string(), "release " + name + "\r\n");
        for (const auto& [file, content] : data)
            writeHostFile((common / "Data" / file).string(), content);
        for (int i = 0; bulkBytes > 0 && i < kBulkFiles; ++i)
            writeHostFile((common / "Data" / ("bulk" + std::to_string(i) + ".dat")).string(),
                          std::string(bulkBytes, static_cast<char>('a' + i % 26)) + name);
        if (!ownFile.empty()) writeHostFile((common / "vaultaide_810.exe").string(), ownFile);
        const std::string command =
            std::string(VAULTAIDE_PUBLISH_BIN) + " manifest --common " + common.string() +
            " --bank " + bank.string() + " --code 810 --version 1.0.0." + name.substr(1) +
            " --keys " + VAULTAIDE_TEST_KEY_DIR + " --out " + served(name).string() + " >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    // What release NAME leaves installed, version VERSION registered.
    void install(const std::string& name, const std::string& version) {
        fs::create_directories(installation());
        fs::copy(served(name), installation(), fs::copy_options::recursive);
        ASSERT_EQ(runProgram(windowsProgram("wadriver.exe"),
                             {"reg-set", kOwnKey, "Version", version}, machine.work())
                      .exitCode,
                  0);
        ASSERT_EQ(runProgram(windowsProgram("wadriver.exe"),
                             {"reg-set", kOwnKey, "Path", "C:\\Assist"}, machine.work())
                      .exitCode,
                  0);
    }

    // The installation is release NAME byte for byte, with its version registered.
    void expectWhollyRelease(const std::string& name, const std::string& registered) {
        EXPECT_EQ(treeOf(installation(), true), treeOf(served(name), false)) << name;
        EXPECT_EQ(version(), registered);
        EXPECT_FALSE(fs::exists(backup("journal")));
    }

    void expectNoFileInTheDownloadFolder() {
        for (const auto& item : fs::recursive_directory_iterator(installation() / "DownLoad"))
            EXPECT_FALSE(item.is_regular_file()) << item.path();
    }

    // A forced update to release NAME, run to its end.
    void updateToTheEnd(const std::string& name, const std::string& version) {
        machine.serve(version, "2", "{self}/" + name);
        auto program = machine.start();
        int code = -1;
        ASSERT_TRUE(program->waitForExit(120s, code));
        EXPECT_EQ(code, 0);
    }

    // Release r1 installed, a forced update to r2 started; both with 40 data files of that size.
    std::unique_ptr<BackgroundProgram> startBulkUpdate(size_t bulkBytes) {
        publish("r1", {}, bulkBytes);
        publish("r2", {}, bulkBytes);
        install("r1", "1.0.0.1");
        machine.serve("1.0.0.2", "2", "{self}/r2");
        return machine.start();
    }

    void serverUnreachable() {
        writeHostFile(machine.work() + "/serverip.dat",
                      "http://127.0.0.1\n:1\n/assist/server?reqtype=1&data=\n");
    }
};

// 1.0.0.3 is offered forced from a tree that lacks one changed file: the others are fetched and
// the run stops. 1.0.0.4 puts one of them back to its 1.0.0.1 content; what the stopped run
// left in the download folder is never installed.
TEST_F(WineRecovery, StaleDownloadsOfAStoppedUpdateAreNeverInstalled) {
    publish("r1", {{"a.dat", "a 1"}, {"b.dat", "b 1"}, {"c.dat", "c 1"}});
    publish("r3", {{"a.dat", "a 3"}, {"b.dat", "b 3"}, {"c.dat", "c 3"}});
    publish("r4", {{"a.dat", "a 1"}, {"b.dat", "b 4"}, {"c.dat", "c 4"}});
    fs::remove(served("r3") / "Data" / "c.dat");
    install("r1", "1.0.0.1");

    machine.serve("1.0.0.3", "2", "{self}/r3");
    auto stopped = machine.start();
    const Dialog failed = screen.waitFor("the failed download", showing(kCancel, "下载失败"), 120s);
    ASSERT_TRUE(failed);
    EXPECT_EQ(readHostFile((installation() / "DownLoad" / "Data" / "a.dat").string()), "a 3");
    screen.click(failed, kCancel);
    int code = -1;
    ASSERT_TRUE(stopped->waitForExit(60s, code));
    EXPECT_EQ(version(), "1.0.0.1");

    updateToTheEnd("r4", "1.0.0.4");
    expectWhollyRelease("r4", "1.0.0.4");
    expectNoFileInTheDownloadFolder();
}

// Killed while downloading, then run to the end: wholly the new release, and no staging file
// anywhere in the installation.
TEST_F(WineRecovery, KilledWhileDownloadingThenRunToTheEnd) {
    auto killed = startBulkUpdate(kSlowDownloadBytes);
    ASSERT_TRUE(eventually(
        [&] { return fs::exists(installation() / "DownLoad" / "Data" / "bulk3.dat"); }, 120s));
    killed.reset();  // SIGKILL
    EXPECT_FALSE(fs::exists(backup("journal")));
    expectWhollyRelease("r1", "1.0.0.1");

    updateToTheEnd("r2", "1.0.0.2");
    expectWhollyRelease("r2", "1.0.0.2");
    expectNoFileInTheDownloadFolder();
    for (const auto& item : fs::recursive_directory_iterator(installation()))
        EXPECT_NE(item.path().filename(), "~va.tmp") << item.path();
}

// Killed while replacing files: the next start, with no server to reach, puts the whole old
// release back with its version; the next start with the server updates to the whole new one.
TEST_F(WineRecovery, KilledWhileReplacingIsUndoneAtTheNextStartWithoutAServer) {
    auto killed = startBulkUpdate(kSlowReplacementBytes);
    ASSERT_TRUE(eventually([&] { return fs::exists(backup("0")); }, 120s));
    killed.reset();  // SIGKILL
    ASSERT_TRUE(fs::exists(backup("journal"))) << "the kill came after the replacement";

    serverUnreachable();
    auto offline = machine.start();
    int code = -1;
    ASSERT_TRUE(offline->waitForExit(120s, code));
    EXPECT_EQ(code, 0);
    expectWhollyRelease("r1", "1.0.0.1");

    updateToTheEnd("r2", "1.0.0.2");
    expectWhollyRelease("r2", "1.0.0.2");
    expectNoFileInTheDownloadFolder();
}

// Cancel pressed during the downloads and answered Yes once files are being replaced: the
// replacement is undone before the program ends.
TEST_F(WineRecovery, CancelAnsweredYesWhileReplacingUndoesTheReplacement) {
    auto program = startBulkUpdate(kSlowReplacementBytes);
    const Dialog progress = screen.waitFor(
        "progress dialog", [](const Dialog& d) { return d.shows(1020); }, 60s);
    ASSERT_TRUE(progress);
    screen.click(progress, kCancel);
    const Dialog question = screen.waitFor("cancel question", [](const Dialog& d) {
        for (const Control& c : d.controls)
            if (c.text == "下载还未完成，确定取消？") return d.find(kYes) != nullptr;
        return false;
    });
    ASSERT_TRUE(question);
    ASSERT_TRUE(eventually([&] { return fs::exists(backup("0")); }, 120s));
    screen.click(question, kYes);
    int code = -1;
    ASSERT_TRUE(program->waitForExit(60s, code));
    EXPECT_EQ(code, 0);
    expectWhollyRelease("r1", "1.0.0.1");
}

// The program's own file in a release: an update run from the installation renames the running
// file into the backup folder and the new one into place; a repair does the same for a changed
// copy.
TEST_F(WineRecovery, TheProgramUpdatesAndRepairsItsOwnFile) {
    const std::string program = readHostFile(windowsProgram("vaultaide_810.exe"));
    // Bytes after the image leave the program runnable and make each release's copy its own.
    publish("r1", {}, 0, program + "release 1");
    publish("r2", {}, 0, program + "release 2");
    install("r1", "1.0.0.1");
    const std::string own = (installation() / "vaultaide_810.exe").string();

    machine.serve("1.0.0.2", "2", "{self}/r2");
    {
        BackgroundProgram update(own, {}, machine.work());
        int code = -1;
        ASSERT_TRUE(update.waitForExit(120s, code));
        EXPECT_EQ(code, 0);
    }
    EXPECT_EQ(readHostFile(own), program + "release 2");
    EXPECT_EQ(version(), "1.0.0.2");

    writeHostFile(own, program + "changed");
    {
        BackgroundProgram repair(own, {"-losefile"}, machine.work());
        int code = -1;
        ASSERT_TRUE(repair.waitForExit(120s, code));
        EXPECT_EQ(code, 0);
    }
    EXPECT_EQ(readHostFile(own), program + "release 2");
}

// What a kill point looks at: the installed program, release 2's copy of it, and the file
// that appears once the driver holds what the scenario holds.
struct OwnFileScene {
    fs::path own;
    std::string next;
    fs::path holding;
};

// Where an update that replaces the program's own file is killed, and what the kill leaves.
struct OwnFileKill {
    const char* name;
    // Held without delete sharing as soon as it can be opened: the program's renames of it are
    // refused (each tried again for about two seconds). Empty for none.
    const char* held;
    // Polled until the kill; still true after it.
    std::function<bool(const OwnFileScene&)> reached;
    int ownLeft;  // the release whose whole copy vaultaide_810.exe is after the kill; 0: none
};

constexpr const char* kStaged = ".vaultaide~";

// The program renames these while they are looked at.
bool existsNow(const fs::path& path) {
    std::error_code error;
    return fs::exists(path, error);
}

uintmax_t sizeNow(const fs::path& path) {
    std::error_code error;
    const uintmax_t size = fs::file_size(path, error);
    return error ? 0 : size;
}

fs::path asideOf(const fs::path& own) { return own.parent_path() / "vaultaide_old.exe"; }

const OwnFileKill kOwnFileKills[] = {
    // The new copy part written beside the running one.
    {"WhileTheNewCopyIsWritten", "",
     [](const OwnFileScene& scene) {
         const uintmax_t written = sizeNow(scene.own.string() + kStaged);
         return written > 0 && written < scene.next.size();
     },
     1},
    // The running copy renamed aside, the held new one not yet renamed into its name.
    {"BetweenTheStepAsideAndTheRenameIn", "vaultaide_810.exe.vaultaide~",
     [](const OwnFileScene& scene) {
         return existsNow(scene.holding) && existsNow(asideOf(scene.own)) && !existsNow(scene.own);
     },
     0},
    // The held new one never renamed in, so the run undid itself: the old copy back under its
    // name while the program still runs under the name it stepped aside to.
    {"AfterTheRunUndidItself", "vaultaide_810.exe.vaultaide~",
     [](const OwnFileScene& scene) {
         return existsNow(scene.holding) && existsNow(asideOf(scene.own)) && existsNow(scene.own);
     },
     1},
    // The new copy in place, the bank manifest (replaced last) held.
    {"AfterTheNewCopyIsInPlace", "Digest_810.xml",
     [](const OwnFileScene& scene) {
         return existsNow(scene.own.parent_path() / (std::string("Digest_810.xml") + kStaged));
     },
     2},
};

void PrintTo(const OwnFileKill& kill, std::ostream* out) { *out << kill.name; }

class WineOwnFile : public WineRecovery {
protected:
    const fs::path own = installation() / "vaultaide_810.exe";
    const fs::path holding = fs::path(machine.work()) / "holding";

    // Release N's copy of the program: the program with bytes after its image, which leave it
    // runnable and make writing it take a while.
    std::string ownFileOf(int release) const {
        static const std::string program = readHostFile(windowsProgram("vaultaide_810.exe"));
        return program + std::string(kOwnFilePadding, '\0') + "release " + std::to_string(release);
    }

    // Release 1 installed afresh, with a file of the user's beside it.
    void installFirstRelease() {
        fs::remove_all(installation());
        install("r1", "1.0.0.1");
        writeHostFile((installation() / "mine.txt").string(), "the user's");
    }

    // Holds the installation's file relative (see the driver's hold-when-free), at once when
    // it is there.
    std::unique_ptr<BackgroundProgram> hold(const fs::path& relative) {
        std::string windows = "C:\\Assist\\" + relative.string();
        std::replace(windows.begin(), windows.end(), '/', '\\');
        fs::remove(holding);
        auto holder = std::make_unique<BackgroundProgram>(
            windowsProgram("wadriver.exe"),
            std::vector<std::string>{"hold-when-free", windows, "150", holding.filename().string()},
            machine.work());
        if (fs::exists(installation() / relative)) {
            EXPECT_TRUE(eventually([&] { return fs::exists(holding); })) << windows;
        }
        return holder;
    }

    // Starts the program and kills it once reached() holds (looked at every millisecond). False
    // when the program ended before.
    bool killWhen(const fs::path& program, const std::function<bool()>& reached) {
        BackgroundProgram run(program.string(), {}, machine.work());
        bool ended = false;
        int code = -1;
        return eventually([&] { return reached() || (ended = run.waitForExit(0s, code)); }, 120s,
                          1ms) &&
               !ended;
    }

    // Runs the program to its end.
    void runToItsEnd(const fs::path& program) {
        BackgroundProgram run(program.string(), {}, machine.work());
        int code = -1;
        ASSERT_TRUE(run.waitForExit(120s, code));
        EXPECT_EQ(code, 0);
    }

    // The installed files less the user's own and the program's stepped-aside copy, which
    // may only ever be one release's whole program.
    Tree installedRelease() {
        Tree tree = treeOf(installation(), true);
        EXPECT_EQ(tree.erase("mine.txt"), 1u) << "the user's file is gone";
        const auto aside = tree.find("vaultaide_old.exe");
        if (aside != tree.end()) {
            const std::set<std::string> whole = {base64Digest(sha1Digest(ownFileOf(1))),
                                                 base64Digest(sha1Digest(ownFileOf(2)))};
            EXPECT_EQ(whole.count(aside->second), 1u) << "vaultaide_old.exe is no whole copy";
            tree.erase(aside);
        }
        return tree;
    }

    // After a kill that left the journal: the next start of whatever vaultaide_810.exe is there
    // (the installed one, or one downloaded again when there is none), with no server to reach,
    // leaves release 1 whole with its version; then the installed program, under whatever name
    // the recovery left beside it, updates to release 2 whole.
    void expectTheNextStartsToEndInWholeReleases() {
        ASSERT_TRUE(fs::exists(backup("journal")));
        serverUnreachable();
        const fs::path downloaded = fs::path(machine.work()) / "download" / "vaultaide_810.exe";
        if (!fs::exists(own)) {
            fs::create_directories(downloaded.parent_path());
            fs::copy_file(windowsProgram("vaultaide_810.exe"), downloaded);
        }
        runToItsEnd(fs::exists(own) ? own : downloaded);
        EXPECT_EQ(installedRelease(), treeOf(served("r1"), false));
        EXPECT_EQ(version(), "1.0.0.1");
        EXPECT_FALSE(fs::exists(backup("journal")));

        machine.serve("1.0.0.2", "2", "{self}/r2");
        runToItsEnd(own);
        EXPECT_EQ(installedRelease(), treeOf(served("r2"), false));
        EXPECT_EQ(version(), "1.0.0.2");
        EXPECT_FALSE(fs::exists(backup("journal")));
    }

    void SetUp() override {
        publish("r1", {}, 0, ownFileOf(1));
        publish("r2", {}, 0, ownFileOf(2));
        installFirstRelease();
    }
};

class WineOwnFileKill : public WineOwnFile, public ::testing::WithParamInterface<OwnFileKill> {};

// An update that changes the program's own file, run by the installed program, is killed while
// it replaces that file; the next starts end in whole releases. The driver takes hold of a new
// copy between the program's writing and renaming it; a run that ends first outran it and is
// tried again.
TEST_P(WineOwnFileKill, LeavesOneWholeReleaseAfterTheNextStart) {
    const OwnFileKill& kill = GetParam();
    const OwnFileScene scene{own, ownFileOf(2), holding};
    bool killed = false;
    for (int attempt = 0; attempt < 3 && !killed; ++attempt) {
        if (attempt > 0) installFirstRelease();
        const auto holder = *kill.held ? hold(kill.held) : nullptr;
        machine.serve("1.0.0.2", "2", "{self}/r2");
        killed = killWhen(own, [&] { return kill.reached(scene); });
    }
    ASSERT_TRUE(killed) << kill.name << " never came";
    EXPECT_TRUE(kill.reached(scene)) << "the kill came later";
    if (kill.ownLeft == 0) {
        EXPECT_FALSE(fs::exists(own));
    } else {
        EXPECT_EQ(readHostFile(own.string()), ownFileOf(kill.ownLeft));
    }
    expectTheNextStartsToEndInWholeReleases();
}

INSTANTIATE_TEST_SUITE_P(KillPoints, WineOwnFileKill, ::testing::ValuesIn(kOwnFileKills),
                         [](const auto& info) { return std::string(info.param.name); });

// An update started from outside the installation is killed with the new copy of the program
// in place; the next start, by that new copy, is killed while its undo puts the old copy back
// (the running new one stepped aside, the old one's rename in held): the starts after that end
// in whole releases.
TEST_F(WineOwnFile, AKillWhileTheUndoPutsTheProgramBackIsUndoneAtTheNextStart) {
    const fs::path stagedManifest = installation() / (std::string("Digest_810.xml") + kStaged);
    {
        const auto holder = hold("Digest_810.xml");
        machine.serve("1.0.0.2", "2", "{self}/r2");
        ASSERT_TRUE(killWhen(windowsProgram("vaultaide_810.exe"),
                             [&] { return existsNow(stagedManifest); }));
    }
    ASSERT_EQ(readHostFile(own.string()), ownFileOf(2));
    fs::path ownBackup;
    for (const auto& item : fs::directory_iterator(backup("")))
        if (item.file_size() == ownFileOf(1).size()) ownBackup = item.path();
    ASSERT_FALSE(ownBackup.empty());

    serverUnreachable();
    {
        const auto holder = hold(fs::relative(ownBackup, installation()));
        ASSERT_TRUE(killWhen(own, [&] { return existsNow(asideOf(own)) && !existsNow(own); }))
            << "the undo never stepped the running copy aside";
    }
    EXPECT_EQ(readHostFile(asideOf(own).string()), ownFileOf(2));
    expectTheNextStartsToEndInWholeReleases();
}

}  // namespace
}  // namespace vaultaide::wine
