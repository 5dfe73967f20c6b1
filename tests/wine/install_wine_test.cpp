// The whole install sequence of the Windows build under Wine, against vaultaide-server serving
// the sample release: a fresh installation, an update, a repair, a forced update and a file held
// open during replacement, runtime installers without the vendor's signature, and forged
// answers naming other releases, each run through wadriver's sequence command (no dialogs).
#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include "install/runtimes.h"
#include "integration/server_process.h"
#include "protocol/crypto.h"
#include "publish/manifest_writer.h"
#include "wine/wine_bench.h"

namespace vaultaide::wine {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

const char* kConfig = R"({"banks": {"810": {"version": "1.0.0.2", "url": "{self}/releases/810",
                                              "update": "1"}}})";
const std::string kOwnKey = "Software\\\\Vellumark\\Nexio\\KORVA\\810";
// The same key as the registry keeps it: sub-key "810" of the suite's key.
const std::string kOwnKeyFolded = "Software\\Vellumark\\Nexio\\KORVA\\810";
const std::string kUninstallKey =
    u8"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\澜州银行网银助手";
const std::string kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kGroup = u8"澜州银行网上银行安全组件\\澜州银行网银助手";

// "1 SIZE HEX": a REG_SZ holding exactly these bytes, without terminator.
std::string regSz(const std::string& bytes) {
    std::string hex;
    char digits[3];
    for (unsigned char c : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", c);
        hex += digits;
    }
    return "1 " + std::to_string(bytes.size()) + " " + hex;
}

Lines linesStartingWith(const std::string& output, const std::string& prefix) {
    Lines found;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(prefix, 0) == 0) found.push_back(line.substr(prefix.size()));
    return found;
}

class WineInstall : public ::testing::Test {
protected:
    fakes::TempDir work;
    fakes::TempDir served;
    std::unique_ptr<testing::ServerProcess> server;

    void SetUp() override {
        publish("", "1.0.0.2");
        for (const RuntimeInstaller* runtime : {&runtimeX86(), &runtimeX64()})
            serveRuntime(*runtime, stubProgram(runtime->fileName));
        // The stand-in installers are signed under the tests' root, which the prefix trusts.
        ASSERT_EQ(driver({"trust-root", windowsPathOf(stubProgram("test-root.der"))}).exitCode, 0);
        server = std::make_unique<testing::ServerProcess>(kConfig, served.path().string());
        // Programs without a compatibility manifest see Windows 8 on later systems, which
        // needs no runtime; Wine reporting Vista to the helper makes the runtime step run.
        ASSERT_EQ(runProgram("reg",
                             {"add", "HKCU\\Software\\Wine\\AppDefaults\\wadriver.exe", "/v",
                              "Version", "/d", "vista", "/f"},
                             dir())
                      .exitCode,
                  0);
        forgetInstallation();
        tempFolder = driver({"temp-folder"}).output;
        tempFolder.resize(tempFolder.find('\n'));
        fs::remove(hostC(tempFolder + "runtime.log"));
        // Wine's user profile lacks the Quick Launch folder Windows gives every user.
        fs::create_directories(
            hostC(folder("0x1a") + "\\Microsoft\\Internet Explorer\\Quick Launch"));
    }

    void TearDown() override {
        // The assistant's programs end on the suite's broadcast; the prefix forgets the rest,
        // so later tests see a machine without the assistant.
        runProgram(windowsProgram("vaultaide_810.exe"), {"-t"}, dir());
        forgetInstallation();
        runProgram("reg", {"delete", "HKCU\\Software\\Wine\\AppDefaults\\wadriver.exe", "/f"},
                   dir());
    }

    std::string dir() const { return work.path().string(); }

    void forgetInstallation() {
        fs::remove_all(hostC("C:\\Assist"));
        for (const std::string& key : {kOwnKey, kUninstallKey, std::string(runtimeX86().markerKey),
                                       std::string(runtimeX64().markerKey)})
            driver({"reg-delete", key});
    }

    // The sample release as VERSION under releases/FOLDER, its programs from STUBS.
    void publish(const std::string& edition, const std::string& version,
                 const std::string& folder = "810",
                 const std::string& stubs = VAULTAIDE_WIN_BUILD_DIR "/stubs") {
        const std::string command = std::string(VAULTAIDE_SOURCE_DIR) +
                                    "/tests/fixtures/make-sample-release " + VAULTAIDE_PUBLISH_BIN +
                                    " " + stubs + " " + VAULTAIDE_TEST_KEY_DIR + " " +
                                    (served.path() / "releases" / folder).string() + " '" +
                                    edition + "' " + version + " >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    void serveRuntime(const RuntimeInstaller& runtime, const std::string& hostFile) {
        const fs::path file = served.path() / fs::path(runtime.path).relative_path();
        fs::create_directories(file.parent_path());
        fs::copy_file(hostFile, file, fs::copy_options::overwrite_existing);
    }

    // The runtime installers' starts, sorted, and that each ran from a private folder of the
    // system's temporary folder.
    Lines runtimeStarts() {
        const std::string log = readHostFile(hostC(tempFolder + "runtime.log").string());
        for (std::string folder : linesStartingWith(log, "folder ")) {
            std::transform(folder.begin(), folder.end(), folder.begin(), ::tolower);
            EXPECT_NE(folder.find("\\temp\\vaultaide-"), std::string::npos) << folder;
        }
        Lines lines = linesStartingWith(log, "start ");
        std::sort(lines.begin(), lines.end());
        return lines;
    }

    // The host path of a path on the prefix's drive C:.
    static fs::path hostC(std::string windowsPath) {
        std::replace(windowsPath.begin(), windowsPath.end(), '\\', '/');
        return fs::path(benchDirectory()) / "prefix" / "drive_c" / windowsPath.substr(3);
    }

    WineRun driver(const std::vector<std::string>& arguments) {
        WineRun run = runProgram(windowsProgram("wadriver.exe"), arguments, dir(), 120s);
        run.output.erase(std::remove(run.output.begin(), run.output.end(), '\r'), run.output.end());
        return run;
    }

    WineRun sequence(int mode, const std::string& version, int updateMode, bool autostart,
                     const std::string& release = "810") {
        return driver({"sequence", std::to_string(mode), server->base() + "/releases/" + release,
                       "C:\\Assist", version, std::to_string(updateMode), server->base(),
                       autostart ? "1" : "0"});
    }

    std::string folder(const std::string& csidl) {
        std::string path = driver({"special-folder", csidl}).output;
        return path.substr(0, path.find('\n'));
    }

    std::string value(const std::string& view, const std::string& key, const std::string& name) {
        std::string line = driver({"reg-get", view, key, name}).output;
        return line.substr(0, line.find('\n'));
    }

    std::string linkTarget(const std::string& link) {
        const WineRun run = driver({"link-target", link});
        return run.exitCode == 0 ? run.output.substr(0, run.output.find('\n')) : "no link";
    }

    // The installation's files by relative path, with their digests (the download folder and
    // the programs' log left out).
    std::map<std::string, std::string> installedFiles() {
        std::map<std::string, std::string> files;
        const fs::path root = hostC("C:\\Assist");
        for (const auto& item : fs::recursive_directory_iterator(root)) {
            const std::string relative = fs::relative(item.path(), root).string();
            if (item.is_regular_file() && relative.rfind("DownLoad", 0) != 0 &&
                relative != "assistant.log")
                files[relative] = base64Digest(sha1Digest(readHostFile(item.path().string())));
        }
        return files;
    }

    // "ID NAME" of the running main and pop-up programs.
    Lines assistantProcesses() {
        Lines running = linesStartingWith(driver({"ps"}).output, "");
        running.erase(std::remove_if(running.begin(), running.end(),
                                     [](const std::string& line) {
                                         return line.find(" Nexio_810.exe") == std::string::npos &&
                                                line.find(" QuorlePop.exe") == std::string::npos;
                                     }),
                      running.end());
        return running;
    }

    std::string assistantLog() { return readHostFile(hostC("C:\\Assist\\assistant.log").string()); }

    // Every file of the served release, as the installation should hold it: served under the
    // GBK bytes of its name, installed under the name Wine writes in UTF-8.
    std::map<std::string, std::string> releaseFiles() {
        std::map<std::string, std::string> files;
        const fs::path root = served.path() / "releases" / "810";
        for (const auto& item : fs::recursive_directory_iterator(root))
            if (item.is_regular_file())
                files[gbkToUtf8(fs::relative(item.path(), root).string())] =
                    base64Digest(sha1Digest(readHostFile(item.path().string())));
        return files;
    }

    static std::string gbkToUtf8(std::string gbk) {
        iconv_t cd = iconv_open("UTF-8", "GBK");
        std::string out(gbk.size() * 2, '\0');
        char* in = gbk.data();
        char* to = out.data();
        size_t inLeft = gbk.size(), outLeft = out.size();
        iconv(cd, &in, &inLeft, &to, &outLeft);
        iconv_close(cd);
        out.resize(out.size() - outLeft);
        return out;
    }

    std::string tempFolder;
};

TEST_F(WineInstall, FreshInstallationThenUpdateThenRepair) {
    const WineRun fresh = sequence(0, "1.0.0.2", 1, true);
    ASSERT_EQ(fresh.exitCode, 0) << fresh.output;
    // The runtimes the system's own architecture needs: the 64-bit one only on 64-bit Windows,
    // whatever the program's own; each is one unit before the release's eleven files.
    const Lines runtimes =
        win32Prefix() ? Lines{"vcredist_x86.exe"} : Lines{"vcredist_x86.exe", "vcredist_x64.exe"};
    const std::string total = std::to_string(runtimes.size() + 11);
    Lines status = {"卸载Orvel老版助手", "正在下载 配置文件", "正在下载 配置文件"};
    for (const std::string& runtime : runtimes) {
        status.push_back("正在下载 " + runtime);
        status.push_back("正在安装 " + runtime);
    }
    int unit = static_cast<int>(runtimes.size());
    for (const char* file :
         {"QuorlePop.exe", "readme.txt", "skin.dat", "说明.txt", "core.ini", "main.js", "check.cfg",
          "Nexio_810.exe", "QuorlePop_810.exe", "uninst_810.exe", "bank_810.dat"})
        status.push_back("正在下载 " + std::string(file) + "   " + std::to_string(++unit) + "/" +
                         total);
    for (const char* text : {"创建桌面快捷方式", "创建快速启动选项", "完成安装,准备启动助手"})
        status.push_back(text);
    EXPECT_EQ(linesStartingWith(fresh.output, "text 1020 "), status) << fresh.output;
    EXPECT_EQ(linesStartingWith(fresh.output, "text 2 "), Lines{"下载完成"});
    EXPECT_EQ(linesStartingWith(fresh.output, "bar 1022 range32 "), Lines{"0 " + total});
    EXPECT_EQ(linesStartingWith(fresh.output, "text 1024 ").back(), "100.00%");

    // The file tree: the release with its manifests, the empty staging folders.
    EXPECT_EQ(installedFiles(), releaseFiles());
    for (const char* sub : {"Data", "Plugins", "Script", "Tools"}) {
        EXPECT_TRUE(fs::is_directory(hostC("C:\\Assist\\DownLoad") / sub));
        EXPECT_TRUE(fs::is_empty(hostC("C:\\Assist\\DownLoad") / sub));
    }

    // The registry, byte for byte.
    EXPECT_EQ(value("32", kOwnKeyFolded, "Version"), regSz("1.0.0.2"));
    EXPECT_EQ(value("32", kOwnKey, "Path"), regSz("C:\\Assist"));
    EXPECT_EQ(value("32", kOwnKeyFolded, "BankID"), regSz("810"));
    EXPECT_EQ(value("32", kUninstallKey, "UninstallString"), regSz("C:\\Assist\\uninst_810.exe"));
    EXPECT_EQ(value("32", kUninstallKey, "Publisher"), regSz("Talvik科技股份有限公司"));
    EXPECT_EQ(value("32", kUninstallKey, "DisplayName"), regSz("澜州银行网银助手"));
    EXPECT_EQ(value("32", kUninstallKey, "DisplayVersion"), regSz("1.0.0.2"));
    EXPECT_EQ(value("32", kUninstallKey, "DisplayIcon"), regSz("C:\\Assist\\Nexio_810.exe"));
    EXPECT_EQ(value("64", kRunKey, u8"澜州银行网银助手"), regSz("C:\\Assist\\QuorlePop_810.exe"));

    // Four links, read back through IShellLinkA.
    const std::string desktopLink = folder("0x19") + u8"\\澜州银行网银助手.lnk";
    const std::string group = folder("0x17") + "\\" + kGroup;
    EXPECT_EQ(linkTarget(desktopLink), "C:\\Assist\\Nexio_810.exe");
    EXPECT_EQ(linkTarget(group + u8"\\澜州银行网银助手.lnk"), "C:\\Assist\\Nexio_810.exe");
    EXPECT_EQ(linkTarget(group + u8"\\澜州银行网银助手卸载程序.lnk"), "C:\\Assist\\uninst_810.exe");
    EXPECT_EQ(linkTarget(folder("0x1a") + u8"\\Microsoft\\Internet Explorer\\Quick Launch\\"
                                          u8"澜州银行网银助手.lnk"),
              "C:\\Assist\\Nexio_810.exe");

    // Started: the runtime installers quietly; the programs asked to end before replacement,
    // then the pop-up program and the main program, each with "-t" and then plainly.
    // (The two installers run side by side, so their lines may come in either order.)
    Lines quietStarts;
    for (const std::string& runtime : runtimes) quietStarts.push_back(runtime + " [/q]\r");
    std::sort(quietStarts.begin(), quietStarts.end());
    EXPECT_TRUE(eventually([&] { return runtimeStarts() == quietStarts; }))
        << readHostFile(hostC(tempFolder + "runtime.log").string());
    // The waited "-t" runs come first; the final starts are not waited for, so only each
    // program's own two starts keep their order in the log.
    EXPECT_TRUE(
        eventually([&] { return linesStartingWith(assistantLog(), "start ").size() >= 6; }));
    Lines starts = linesStartingWith(assistantLog(), "start ");
    for (auto& line : starts) line.erase(line.find_last_not_of('\r') + 1);
    ASSERT_EQ(starts.size(), 6u) << assistantLog();
    EXPECT_EQ(Lines(starts.begin(), starts.begin() + 2),
              (Lines{"Nexio_810.exe [-t]", "QuorlePop_810.exe [-t]"}));
    for (const std::string program : {"QuorlePop.exe", "Nexio_810.exe"}) {
        Lines own;
        std::copy_if(starts.begin() + 2, starts.end(), std::back_inserter(own),
                     [&](const std::string& line) { return line.rfind(program + " ", 0) == 0; });
        EXPECT_EQ(own, (Lines{program + " [-t]", program + " []"})) << assistantLog();
    }

    // An update of one changed file: the running programs are stopped, the file is staged and
    // replaced, the staging folder emptied, the new version registered, autostart removed.
    Lines runningBefore;
    ASSERT_TRUE(eventually([&] {
        runningBefore = assistantProcesses();
        return runningBefore.size() == 2;
    })) << driver({"ps"}).output;
    publish("2", "1.0.0.3");
    const auto before = installedFiles();
    const WineRun update = sequence(1, "1.0.0.3", 1, false);
    ASSERT_EQ(update.exitCode, 0) << update.output;
    EXPECT_EQ(linesStartingWith(update.output, "text 1020 "),
              (Lines{"正在下载 配置文件", "正在下载 配置文件", "正在下载 readme.txt   1/1",
                     "创建桌面快捷方式", "创建快速启动选项", "完成安装,准备启动助手"}));
    EXPECT_EQ(linesStartingWith(update.output, "bar 1022 range "), Lines{"0 65536"});
    EXPECT_NE(server->log().find("GET /releases/810/readme.txt"), std::string::npos);
    EXPECT_EQ(readHostFile(hostC("C:\\Assist\\readme.txt").string()),
              "vaultaide sample release 2\r\n");
    auto expected = before;
    expected["readme.txt"] = releaseFiles()["readme.txt"];
    expected["Digest.xml"] = releaseFiles()["Digest.xml"];
    expected["Digest_810.xml"] = releaseFiles()["Digest_810.xml"];  // it names the new version
    EXPECT_EQ(installedFiles(), expected);
    const Lines runningAfter = assistantProcesses();
    for (const auto& line : runningBefore)
        EXPECT_EQ(std::count(runningAfter.begin(), runningAfter.end(), line), 0)
            << line << " still runs";
    for (const auto& item : fs::recursive_directory_iterator(hostC("C:\\Assist\\DownLoad")))
        EXPECT_FALSE(item.is_regular_file()) << item.path();
    EXPECT_EQ(value("32", kOwnKeyFolded, "Version"), regSz("1.0.0.3"));
    EXPECT_EQ(value("64", kRunKey, u8"澜州银行网银助手"), "absent");

    // A repair brings a deleted file back and leaves the links alone.
    fs::remove(hostC("C:\\Assist\\Plugins\\core.ini"));
    fs::remove(hostC(desktopLink));
    const WineRun repair = sequence(2, "1.0.0.3", 1, false);
    ASSERT_EQ(repair.exitCode, 0) << repair.output;
    EXPECT_EQ(linesStartingWith(repair.output, "text 1020 "),
              (Lines{"正在下载 配置文件", "正在下载 配置文件", "正在下载 Plugins\\core.ini   1/1",
                     "正在下载 Plugins\\core.ini   1/1", "完成安装,准备启动助手"}));
    EXPECT_EQ(installedFiles(), expected);
    EXPECT_EQ(linkTarget(desktopLink), "no link");
}

TEST_F(WineInstall, ForcedUpdateReachesThePopUpProgramAndAHeldFileKeepsTheOldInstallation) {
    ASSERT_EQ(sequence(0, "1.0.0.2", 1, false).exitCode, 0);
    ASSERT_TRUE(eventually(
        [&] { return assistantLog().find("ready QuorlePop.exe") != std::string::npos; }));

    // The forced update: the dialog hides, the main program gets "-t", and the running pop-up
    // program receives the 23-byte command on its pipe before anything is fetched.
    publish("2", "1.0.0.3");
    const WineRun forced = sequence(1, "1.0.0.3", 2, false);
    ASSERT_EQ(forced.exitCode, 0) << forced.output;
    EXPECT_EQ(forced.output.substr(0, 5), "hide\n");
    const std::string log = assistantLog();
    const auto ready = log.find("ready QuorlePop.exe");
    EXPECT_NE(log.find("pipe [KORVA_PopUpdatePopCmd||]\r\n", ready), std::string::npos) << log;
    EXPECT_NE(log.find("start Nexio_810.exe [-t]", ready), std::string::npos) << log;
    EXPECT_EQ(value("32", kOwnKeyFolded, "Version"), regSz("1.0.0.3"));

    // A changed file held open: the update restores what it replaced, says so, and ends; the
    // installation and its registered version stay as they were.
    publish("3", "1.0.0.4");
    const auto before = installedFiles();
    BackgroundProgram holder(windowsProgram("wadriver.exe"),
                             {"hold-file", "C:\\Assist\\readme.txt", "60", "held"}, dir());
    ASSERT_TRUE(eventually([&] { return fs::exists(work.path() / "held"); }));
    const WineRun held = sequence(1, "1.0.0.4", 1, false);
    EXPECT_EQ(held.exitCode, 0) << held.output;
    EXPECT_EQ(linesStartingWith(held.output, "box "),
              Lines{"更新失败，助手文件被占用，请关闭占用重新更新!|澜州银行网银助手|48"});
    EXPECT_EQ(linesStartingWith(held.output, "text 2 "), Lines{});
    EXPECT_EQ(installedFiles(), before);
    EXPECT_EQ(value("32", kOwnKeyFolded, "Version"), regSz("1.0.0.3"));
}

// Installers without the vendor's valid signature (none, a changed byte, another signer) are
// never started: each shows as a failed runtime download and the installation goes on; a
// correctly signed one beside them runs.
TEST_F(WineInstall, RuntimeInstallersWithoutTheVendorsSignatureNeverRun) {
    const std::string untrusted = std::string(VAULTAIDE_WIN_BUILD_DIR) + "/stubs/untrusted/";
    struct Case {
        const char* x86;
        const char* x64;
        Lines started;
        Lines cancelCaptions;
    };
    const Case cases[] = {
        {"unsigned.exe", "tampered.exe", {}, {"下载VS库失败", "下载VS库失败", "下载完成"}},
        {"foreign.exe", nullptr, {"vcredist_x64.exe [/q]\r"}, {"下载VS库失败", "下载完成"}},
    };
    for (const Case& c : cases) {
        serveRuntime(runtimeX86(), untrusted + c.x86);
        serveRuntime(runtimeX64(), c.x64 ? untrusted + c.x64 : stubProgram("vcredist_x64.exe"));
        const WineRun run = sequence(0, "1.0.0.2", 1, false);
        ASSERT_EQ(run.exitCode, 0) << run.output;
        const Lines status = linesStartingWith(run.output, "text 1020 ");
        EXPECT_NE(std::find(status.begin(), status.end(), "下载vcredist_x86.exe 失败"),
                  status.end())
            << run.output;
        EXPECT_EQ(std::find(status.begin(), status.end(), "正在安装 vcredist_x86.exe"),
                  status.end());
        EXPECT_EQ(linesStartingWith(run.output, "text 2 "), c.cancelCaptions);
        EXPECT_EQ(installedFiles(), releaseFiles()) << c.x86;
        if (!c.started.empty()) {
            EXPECT_TRUE(eventually([&] { return runtimeStarts() == c.started; })) << c.x86;
        }
        std::this_thread::sleep_for(2s);  // what was started has long written its line
        EXPECT_EQ(runtimeStarts(), c.started) << c.x86;
        runProgram(windowsProgram("vaultaide_810.exe"), {"-t"}, dir());
        forgetInstallation();
        fs::remove(hostC(tempFolder + "runtime.log"));
    }
}

// A forged answer cannot install another release than it announces, nor another bank's: an
// older signed release announced as 999.0.0.0, a release whose bank manifest was signed for
// bank 811, and one announced as 99999.0.0.0 whose manifests keep their signature with the
// bytes after it changed (so they no longer parse) install and register nothing. The genuine
// update afterwards proceeds.
TEST_F(WineInstall, ForgedAnswersInstallNothingAndTheGenuineUpdateProceeds) {
    publish("2", "1.0.0.3");
    ASSERT_EQ(sequence(0, "1.0.0.3", 1, false).exitCode, 0);
    const auto installed = installedFiles();

    publish("", "1.0.0.2", "old");
    publish("3", "1.0.0.4", "next");
    fakes::TempDir sources;
    fs::create_directories(sources.path() / "common");
    fs::create_directories(sources.path() / "bank");
    writeHostFile((sources.path() / "bank" / "Nexio_811.exe").string(), "another bank");
    std::string error;
    ASSERT_TRUE(tools::publishRelease(
        (sources.path() / "common").string(), (sources.path() / "bank").string(), 0x811,
        VAULTAIDE_TEST_KEY_DIR, (sources.path() / "811").string(), error, "1.0.0.4"))
        << error;
    const fs::path other = served.path() / "releases" / "other";
    fs::copy(served.path() / "releases" / "next", other, fs::copy_options::recursive);
    fs::copy_file(sources.path() / "811" / "Digest_811.xml", other / "Digest_810.xml",
                  fs::copy_options::overwrite_existing);
    const fs::path broken = served.path() / "releases" / "broken";
    fs::copy(served.path() / "releases" / "next", broken, fs::copy_options::recursive);
    for (const char* manifest : {"Digest.xml", "Digest_810.xml"}) {
        std::string bytes = readHostFile((broken / manifest).string());
        bytes.replace(bytes.find("</Sign>"), 9, "xxxxxxxxx");  // not covered by the signature
        writeHostFile((broken / manifest).string(), bytes);
    }

    struct Forged {
        const char* release;
        const char* version;
        int updateMode;
    };
    for (const Forged& f : {Forged{"old", "999.0.0.0", 2}, Forged{"other", "1.0.0.4", 1},
                            Forged{"broken", "99999.0.0.0", 2}}) {
        const WineRun run = sequence(1, f.version, f.updateMode, false, f.release);
        EXPECT_NE(run.output.find("stopped "), std::string::npos) << f.release << run.output;
        EXPECT_EQ(installedFiles(), installed) << f.release;
        EXPECT_EQ(value("32", kOwnKeyFolded, "Version"), regSz("1.0.0.3")) << f.release;
        EXPECT_EQ(server->log().find(std::string("GET /releases/") + f.release + "/readme.txt"),
                  std::string::npos)
            << f.release;
    }

    const WineRun genuine = sequence(1, "1.0.0.4", 1, false, "next");
    ASSERT_EQ(genuine.exitCode, 0) << genuine.output;
    EXPECT_EQ(readHostFile(hostC("C:\\Assist\\readme.txt").string()),
              "vaultaide sample release 3\r\n");
    EXPECT_EQ(value("32", kOwnKeyFolded, "Version"), regSz("1.0.0.4"));
}

// What only a 32-bit program on 64-bit Windows can get wrong, with 64-bit assistant programs: each
// registry key in the view it belongs to (read back by the system's 64-bit reg), msiexec.exe from
// the system folder a 32-bit program is given, and the pop-up program's pipe and the suite's
// broadcast reaching 64-bit programs.
TEST_F(WineInstall, ThirtyTwoBitProgramBesideSixtyFourBitOnes) {
    // (Where the machine runs no 32-bit program, the x86_64 build goes through the same steps.)
    if (win32Prefix()) GTEST_SKIP() << "64-bit Windows only";
    const std::string stubs64 = VAULTAIDE_WIN64_BUILD_DIR "/stubs";
    publish("", "1.0.0.2", "810", stubs64);
    // A stand-in msiexec.exe that logs its start, in the folder the system redirects a 32-bit
    // program's system folder to; Wine takes it for its own msiexec when told to.
    const fs::path msiexec = hostC(wow64Prefix() ? "C:\\windows\\syswow64\\msiexec.exe"
                                                 : "C:\\windows\\system32\\msiexec.exe");
    const std::string systemMsiexec = readHostFile(msiexec.string());
    ASSERT_FALSE(systemMsiexec.empty());
    const std::string overrides = "HKCU\\Software\\Wine\\DllOverrides";
    struct Restore {
        fs::path file;
        std::string bytes, overrides, dir;
        ~Restore() {
            writeHostFile(file.string(), bytes);
            runProgram("reg", {"delete", overrides, "/v", "msiexec.exe", "/f"}, dir);
        }
    } restore{msiexec, systemMsiexec, overrides, dir()};
    fs::copy_file(std::string(VAULTAIDE_WIN_BUILD_DIR) + "/stubs/untrusted/unsigned.exe", msiexec,
                  fs::copy_options::overwrite_existing);
    ASSERT_EQ(
        runProgram("reg", {"add", overrides, "/v", "msiexec.exe", "/d", "native", "/f"}, dir())
            .exitCode,
        0);

    ASSERT_EQ(sequence(0, "1.0.0.2", 1, true).exitCode, 0);
    EXPECT_EQ(installedFiles(), releaseFiles());
    const std::string started = readHostFile(hostC(tempFolder + "runtime.log").string());
    EXPECT_NE(started.find("start msiexec.exe [/X{"), std::string::npos) << started;

    struct Value {
        std::string key, name;
        bool in32, in64;
    };
    const Value values[] = {{kOwnKeyFolded, "Version", true, false},
                            {kUninstallKey, "DisplayName", true, false},
                            {kRunKey, u8"澜州银行网银助手", false, true}};
    for (const Value& v : values) {
        const std::pair<const char*, bool> views[] = {{"/reg:32", v.in32}, {"/reg:64", v.in64}};
        for (const auto& [view, expected] : views)
            EXPECT_EQ(runProgram("reg", {"query", "HKLM\\" + v.key, "/v", v.name, view}, dir())
                              .exitCode == 0,
                      expected)
                << v.key << " " << v.name << " " << view;
    }

    // The forced update's command reaches the 64-bit pop-up program's pipe; the suite's broadcast
    // from the 32-bit program ends both 64-bit programs.
    ASSERT_TRUE(eventually(
        [&] { return assistantLog().find("ready QuorlePop.exe") != std::string::npos; }));
    publish("2", "1.0.0.3", "810", stubs64);
    ASSERT_EQ(sequence(1, "1.0.0.3", 2, false).exitCode, 0);
    EXPECT_NE(assistantLog().find("pipe [KORVA_PopUpdatePopCmd||]"), std::string::npos)
        << assistantLog();
    ASSERT_TRUE(eventually([&] { return assistantProcesses().size() == 2; }));
    runProgram(windowsProgram("vaultaide_810.exe"), {"-t"}, dir());
    EXPECT_TRUE(eventually([&] { return assistantProcesses().empty(); })) << driver({"ps"}).output;
    EXPECT_NE(assistantLog().find("message 1 0"), std::string::npos) << assistantLog();
}

}  // namespace
}  // namespace vaultaide::wine
