// The elevated program under Wine against what others may do to an installation: a journal
// planted behind a linked folder changes nothing outside it, and a file a scanner holds does
// not roll an update back.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "protocol/crypto.h"
#include "wine/ui_machine.h"

namespace vaultaide::wine {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Tree = std::map<std::string, std::string>;  // relative path -> content

Tree treeOf(const fs::path& root) {
    Tree tree;
    for (const auto& item : fs::recursive_directory_iterator(root))
        if (item.is_regular_file())
            tree[fs::relative(item.path(), root).string()] = readHostFile(item.path().string());
    return tree;
}

class WineLocalUser : public ::testing::Test {
protected:
    UiMachine machine;
    fakes::TempDir sources;

    fs::path installation() const { return machine.driveC("Assist"); }
    fs::path served(const std::string& name) const {
        return machine.release().parent_path() / name;
    }

    // Release NAME ("rN", version 1.0.0.N): the stub programs and Data/skin.dat.
    void publish(const std::string& name) {
        const fs::path common = sources.path() / name / "common";
        const fs::path bank = sources.path() / name / "bank";
        fs::create_directories(common / "Data");
        fs::create_directories(bank);
        fs::copy_file(stubProgram("QuorlePop.exe"), common / "QuorlePop.exe");
        for (const char* program : {"Nexio_810.exe", "QuorlePop_810.exe", "uninst_810.exe"})
            fs::copy_file(stubProgram(program), bank / program);
        writeHostFile((common / "Data" / "skin.dat").string(), "skin " + name);
        const std::string command =
            std::string(VAULTAIDE_PUBLISH_BIN) + " manifest --common " + common.string() +
            " --bank " + bank.string() + " --code 810 --version 1.0.0." + name.substr(1) +
            " --keys " + VAULTAIDE_TEST_KEY_DIR + " --out " + served(name).string() + " >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    // Release r1 installed in C:\Assist with 1.0.0.1 registered.
    void installFirstRelease() {
        publish("r1");
        fs::create_directories(installation());
        fs::copy(served("r1"), installation(), fs::copy_options::recursive);
        for (const auto& [name, value] :
             {std::pair<const char*, const char*>{"Version", "1.0.0.1"}, {"Path", "C:\\Assist"}})
            ASSERT_EQ(runProgram(windowsProgram("wadriver.exe"), {"reg-set", kOwnKey, name, value},
                                 machine.work())
                          .exitCode,
                      0);
    }

    void runToItsEnd() {
        auto program = machine.start();
        int code = -1;
        ASSERT_TRUE(program->waitForExit(120s, code));
    }
};

// Data replaced by a link to another folder, a backup and a journal naming Data\evil.dll (kept)
// and Data\victim.dll (added): the next start, with no server to reach, neither writes nor
// deletes in the linked folder. (Wine reports every folder as the running account's, so it
// cannot show a folder open to others, whose journal is discarded unread; the native tests do.)
TEST_F(WineLocalUser, APlantedJournalChangesNothingOutsideTheInstallation) {
    installFirstRelease();
    const fs::path outside = machine.driveC("Outside");
    fs::create_directories(outside);
    writeHostFile((outside / "victim.dll").string(), "system");
    fs::remove_all(installation() / "Data");
    fs::create_directory_symlink(outside, installation() / "Data");
    const fs::path backup = installation() / "DownLoad" / ".backup";
    fs::create_directories(backup);
    writeHostFile((backup / "0").string(), "evil");
    const auto line = [](const std::string& tag, const std::string& value) {
        return tag + " " + hexEncode(value) + "\r\n";
    };
    writeHostFile((backup / "journal").string(),
                  "vaultaide replacement journal 1\r\n" + line("version", "9.9.9.9") +
                      line("display", "9.9.9.9") + line("kept", "Data\\evil.dll") +
                      line("added", "Data\\victim.dll") + "end\r\n");
    writeHostFile(machine.work() + "/serverip.dat",
                  "http://127.0.0.1\n:1\n/assist/server?reqtype=1&data=\n");

    runToItsEnd();
    EXPECT_EQ(treeOf(outside), (Tree{{"victim.dll", "system"}}));
}

// An installed file that another program holds open for reading with every sharing, as a
// virus scanner does, all through an update: the update goes on and installs the new release.
TEST_F(WineLocalUser, AFileAScannerHoldsDoesNotRollTheUpdateBack) {
    installFirstRelease();
    publish("r2");
    BackgroundProgram scanner(windowsProgram("wadriver.exe"),
                              {"scan-file", "C:\\Assist\\Data\\skin.dat", "60", "scanning"},
                              machine.work());
    ASSERT_TRUE(eventually([&] { return fs::exists(machine.work() + "/scanning"); }));
    machine.serve("1.0.0.2", "2", "{self}/r2");
    runToItsEnd();
    EXPECT_EQ(readHostFile((installation() / "Data" / "skin.dat").string()), "skin r2");
    const std::string text = machine.registryValue("Version");
    EXPECT_EQ(text.substr(0, text.find('\0')), "1.0.0.2");
}

}  // namespace
}  // namespace vaultaide::wine
