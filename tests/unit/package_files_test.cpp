#include <gtest/gtest.h>

#include <filesystem>

#include "fakes/fake_platform.h"
#include "packages/package_download.h"

namespace vaultaide {
namespace {

TEST(EmptyFolderTree, DeletesFilesKeepsFoldersAndSkipsDotFolders) {
    fakes::FakeMachine m;
    m.writeFile("C:\\D\\a.txt", "a");
    m.writeFile("C:\\D\\Sub\\b.txt", "b");
    m.writeFile("C:\\D\\Sub\\Deeper\\c.txt", "c");
    m.writeFile("C:\\D\\.hidden\\d.txt", "d");
    EXPECT_TRUE(emptyFolderTree(m.files, "C:\\D"));
    EXPECT_FALSE(m.files.exists("C:\\D\\a.txt"));
    EXPECT_FALSE(m.files.exists("C:\\D\\Sub\\b.txt"));
    EXPECT_FALSE(m.files.exists("C:\\D\\Sub\\Deeper\\c.txt"));
    EXPECT_TRUE(m.files.isDirectory("C:\\D\\Sub\\Deeper"));
    EXPECT_TRUE(m.files.exists("C:\\D\\.hidden\\d.txt"));
    EXPECT_FALSE(emptyFolderTree(m.files, "C:\\Missing"));
    // A linked folder leads elsewhere: what lies there stays.
    m.writeFile("C:\\Elsewhere\\e.txt", "e");
    std::filesystem::create_directory_symlink(m.files.hostPath("C:\\Elsewhere"),
                                              m.files.hostPath("C:\\D\\Link"));
    EXPECT_TRUE(emptyFolderTree(m.files, "C:\\D"));
    EXPECT_TRUE(m.files.exists("C:\\Elsewhere\\e.txt"));
}

TEST(RenameOwnProgram, OldCopyMakesWayAndCurrentMovesAside) {
    fakes::FakeMachine m;
    m.writeFile("C:\\A\\vaultaide_810.exe", "current");
    m.writeFile("C:\\A\\vaultaide_old.exe", "older");
    renameOwnProgram(m.files, "C:\\A", "vaultaide_810.exe");
    EXPECT_FALSE(m.files.exists("C:\\A\\vaultaide_810.exe"));
    EXPECT_EQ(fakes::readHostFile(m.files.hostPath("C:\\A\\vaultaide_old.exe")), "current");
    // With no current copy the old one is still cleared away.
    renameOwnProgram(m.files, "C:\\A", "vaultaide_810.exe");
    EXPECT_FALSE(m.files.exists("C:\\A\\vaultaide_old.exe"));
}

TEST(TerminateAndWait, EveryMatchWithABoundedWait) {
    fakes::FakeMachine m;
    m.processes.running = {{7, "Other.exe"}, {8, "NEXIO_810.EXE"}, {9, "nexio_810.exe"}};
    terminateAndWait(m.processes, "Nexio_810.exe");
    ASSERT_EQ(m.processes.terminated.size(), 2u);
    EXPECT_EQ(m.processes.terminated[0].id, 8u);
    EXPECT_EQ(m.processes.terminated[1].id, 9u);
    EXPECT_EQ(m.processes.terminated[0].exitCode, 0u);
    EXPECT_EQ(m.processes.waitBounds, (std::vector<uint32_t>{kTerminateWaitMs, kTerminateWaitMs}));
    // A process that does not end in time is left behind; the run goes on.
    m.processes.running = {{10, "nexio_810.exe"}};
    m.processes.unending = {10};
    terminateAndWait(m.processes, "Nexio_810.exe");
    EXPECT_EQ(m.processes.waitBounds.size(), 3u);
    terminateAndWait(m.processes, "absent.exe");
    EXPECT_EQ(m.processes.waitBounds.size(), 3u);
}

}  // namespace
}  // namespace vaultaide
