#include "app/system_utils.h"

#include "app/installation_folder.h"
#include "base/gbk_text.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "fakes/fake_platform.h"

namespace vaultaide {
namespace {

using fakes::FakeMachine;

TEST(ProcessSearch, FirstMatchIgnoringCaseOnly) {
    FakeMachine m;
    m.processes.running = {
        {4, "System"}, {10, "IEXPLORE.EXE"}, {11, "iexplore.exe"}, {20, "Nexio_810.exe"}};
    uint32_t id = 0;
    EXPECT_TRUE(findRunningBrowser(m.processes, id));
    EXPECT_EQ(id, 10u);

    EXPECT_TRUE(terminateBrowser(m.processes, 0));
    ASSERT_EQ(m.processes.terminated.size(), 1u);
    EXPECT_EQ(m.processes.terminated[0].id, 10u);
    EXPECT_EQ(m.processes.terminated[0].exitCode, 0xFFFFFFF7u);

    EXPECT_TRUE(terminateProcessByName(m.processes, "NEXIO_810.EXE"));
    EXPECT_EQ(m.processes.terminated.back().id, 20u);
    EXPECT_EQ(m.processes.running.size(), 2u);  // the second browser still runs
}

TEST(ProcessSearch, NothingRunningOrUnopenableStillSucceeds) {
    FakeMachine m;
    m.processes.running = {{7, "explorer.exe"}, {9, "iexplore.exe"}};
    m.processes.protectedIds = {9};
    uint32_t id = 123;
    EXPECT_FALSE(findProcessByName(m.processes, "iexplore", id));
    EXPECT_EQ(id, 123u);
    EXPECT_TRUE(terminateBrowser(m.processes, 0));
    EXPECT_TRUE(terminateProcessByName(m.processes, "missing.exe"));
    EXPECT_TRUE(terminateBrowser(m.processes, 7));
    EXPECT_EQ(m.processes.terminated.size(), 1u);
    EXPECT_EQ(m.processes.terminated[0].id, 7u);
}

TEST(VersionProbe, WindowsVersionsAndArchitectures) {
    struct Case {
        OsVersion version;
        uint16_t architecture;
        bool result, win7or8;
        int x86;  // -1: left as initialised
    };
    const Case cases[] = {
        {{true, 2, 6, 1}, kArchitectureX86, true, true, 1},
        {{true, 2, 6, 1}, kArchitectureAmd64, true, true, 0},
        {{true, 2, 6, 2}, kArchitectureAmd64, true, true, 0},
        {{true, 2, 6, 0}, kArchitectureX86, true, false, 1},
        {{true, 2, 6, 3}, kArchitectureAmd64, true, false, 0},
        {{true, 2, 6, 1}, 12 /* ARM64 */, true, true, -1},
        {{true, 2, 10, 0}, kArchitectureX86, true, false, -1},
        {{true, 2, 5, 1}, kArchitectureX86, true, false, -1},
        {{true, 2, 4, 0}, kArchitectureX86, false, false, -1},
        {{true, 1, 4, 10}, kArchitectureX86, false, false, -1},
        {{false, 0, 0, 0}, kArchitectureX86, true, false, -1},
    };
    for (const auto& c : cases) {
        FakeMachine m;
        m.system.version = c.version;
        m.system.architecture = c.architecture;
        bool win7or8 = true;
        bool x86 = true;
        bool x86Unset = false;
        EXPECT_EQ(probeWindowsVersion(m.system, win7or8, x86), c.result);
        bool unused = true;
        probeWindowsVersion(m.system, unused, x86Unset);
        EXPECT_EQ(win7or8, c.win7or8) << c.version.major << "." << c.version.minor;
        if (c.x86 < 0) {
            EXPECT_TRUE(x86);
            EXPECT_FALSE(x86Unset);
        } else {
            EXPECT_EQ(x86, c.x86 == 1);
        }
    }
}

TEST(DirectoryTree, SplittingFoldsRunsOfBackslashes) {
    using V = std::vector<std::string>;
    EXPECT_EQ(splitDirectoryPath("C:\\A\\\\B\\"), (V{"C:", "A", "B"}));
    EXPECT_EQ(splitDirectoryPath("\\\\server\\share"), (V{"", "server", "share"}));
    EXPECT_EQ(splitDirectoryPath("C:"), (V{"C:"}));
    EXPECT_EQ(splitDirectoryPath("rel\\a"), (V{"rel", "a"}));
}

TEST(DirectoryTree, BackslashBytesInsideGbkCharactersDoNotSplit) {
    // 乗 is 0x81 0x5C in GBK: its second byte is the byte of a backslash.
    const std::string name =
        "\x81\x5C"
        "data";
    using V = std::vector<std::string>;
    EXPECT_EQ(splitDirectoryPath("C:\\" + name + "\\B"), (V{"C:", name, "B"}));
    EXPECT_EQ(backslashesToSlashes("Data\\" + name + "\\x"), "Data/" + name + "/x");
    EXPECT_EQ(findLastBackslash("C:\\dir\\" + name), 6u);
    EXPECT_EQ(findBackslash(name), std::string::npos);
    fakes::FakeMachine m;
    m.processes.running = {{3, "\x81\x41.exe"}, {4, "\x81\x61.exe"}};
    uint32_t id = 0;
    ASSERT_TRUE(findProcessByName(m.processes, "\x81\x61.EXE", id));
    EXPECT_EQ(id, 4u);  // a trail byte is not a letter to fold
}

TEST(DirectoryTree, CreatesEveryMissingLevel) {
    FakeMachine m;
    EXPECT_TRUE(createDirectoryTree(m.files, "C:\\A\\\\B\\"));
    EXPECT_TRUE(m.files.isDirectory("C:\\A"));
    EXPECT_TRUE(m.files.isDirectory("C:\\A\\B"));
    EXPECT_TRUE(createDirectoryTree(m.files, "C:\\A\\B"));
    EXPECT_TRUE(createDirectoryTree(m.files, "C:\\A\\B\\网银助手\\Data"));
    EXPECT_TRUE(m.files.isDirectory("C:\\A\\B\\网银助手\\Data"));
}

TEST(DirectoryTree, FailsWhereALevelCannotBeMadeAndKeepsWhatExists) {
    FakeMachine m;
    m.writeFile("C:\\A\\file", "x");
    EXPECT_FALSE(createDirectoryTree(m.files, "C:\\A\\file\\B"));
    EXPECT_TRUE(m.files.isDirectory("C:\\A"));
    // A relative path whose first part is missing fails at its second part.
    EXPECT_FALSE(createDirectoryTree(m.files, "nowhere\\a"));
    // One part that is no directory still counts as done.
    EXPECT_TRUE(createDirectoryTree(m.files, "Q:"));
}

// ASCII letters in either case, separators as Windows reads them, but a double-byte
// character's bytes exactly: its second byte may be a letter's or "\\".
TEST(DirectoryTree, InstallationFoldersCompareAsWindowsComparesNames) {
    const std::string upper = "\x81\x41", lower = "\x81\x61", slash = "\x81\x5C";
    const struct {
        std::string a, b;
        bool same;
    } cases[] = {
        {"C:\\Assist\\网银助手", "c:\\ASSIST\\网银助手", true},
        {"C:\\Assist\\", "C:/Assist", true},
        {"C:\\\\Assist\\\\Bank", "C:\\Assist\\Bank\\\\", true},
        {"C:\\Assist\\" + upper, "C:\\Assist\\" + lower, false},
        {"C:\\Assist\\" + slash, "C:\\Assist\\\x81", false},
        {"C:\\Assist\\" + slash + "\\", "C:\\Assist\\" + slash, true},
        {"C:\\Assist", "C:\\Assist\\Bank", false},
        {"C:\\Assist", "D:\\Assist", false},
    };
    for (const auto& c : cases) EXPECT_EQ(sameInstallationFolder(c.a, c.b), c.same) << c.a;
}

TEST(VersionText, DottedAndPositionalForms) {
    auto parse = [](const std::string& text) {
        uint32_t n[4] = {7, 7, 7, 7};
        parseVersionText(text, n);
        return std::vector<uint32_t>(n, n + 4);
    };
    using V = std::vector<uint32_t>;
    EXPECT_EQ(parse("2.0.1.15"), (V{2, 0, 1, 15}));
    EXPECT_EQ(parse("2015"), (V{2, 0, 15, 0}));
    EXPECT_EQ(parse("201512"), (V{2, 0, 15, 12}));
    EXPECT_EQ(parse("1.2.3.4.5"), (V{1, 2, 3, 4}));
    EXPECT_EQ(parse("1.2a.3.x"), (V{1, 2, 3, 0}));
    EXPECT_EQ(parse("1.25"), (V{1, 25, 1, 25}));
    EXPECT_EQ(parse("1.2.3"), (V{1, 2, 3, 1}));
    EXPECT_EQ(parse("10.0.0.4294967295"), (V{10, 0, 0, 4294967295u}));
    EXPECT_EQ(parse(" 3.-1.0.0"), (V{3, 4294967295u, 0, 0}));
    EXPECT_EQ(parse("1.2"), (V{7, 7, 7, 7}));  // three characters: nothing written
    EXPECT_EQ(parse(""), (V{7, 7, 7, 7}));
}

TEST(VersionText, ComparisonIsNumericNumberByNumber) {
    uint32_t installed[4] = {}, server[4] = {};
    parseVersionText("1.0.0.10", installed);
    parseVersionText("1.0.0.9", server);
    EXPECT_EQ(compareVersions(installed, server), 1);
    EXPECT_EQ(compareVersions(server, installed), -1);
    EXPECT_EQ(compareVersions(server, server), 0);
}

}  // namespace
}  // namespace vaultaide
