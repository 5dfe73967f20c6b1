// Decisions that only a real Windows machine shows: the runtime step on Windows 8.1 and later
// with the 64-bit runtime's marker in either registry view, starts as the logged-on user,
// message boxes in front of the dialogs, every copy of the assistant ended, and manifest names
// on a Windows set up for another language.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/app_state.h"
#include "app/bank_profile.h"
#include "install/file_replacement.h"
#include "install/runtimes.h"
#include "install/update_handoff.h"
#include "packages/digest_manifest.h"
#include "packages/install_job.h"
#include "unit/install_bench.h"

namespace vaultaide {
namespace {

using fakes::FakeMachine;

TEST(RuntimeCheck, EveryVersionAfterWindows8AndBothMarkerViews) {
    struct Case {
        uint32_t major, minor;
        uint16_t architecture;
        const char* markers;  // "32": x86 marker; "64v32"/"64v64": x64 marker in that view
        int needX86, needX64;
    };
    const Case cases[] = {
        {6, 1, kArchitectureAmd64, "", 0, 0},  // Windows 7 and 8 need nothing
        {6, 2, kArchitectureAmd64, "", 0, 0},
        {6, 3, kArchitectureAmd64, "", 1, 1},  // 8.1, 10 and 11 read the markers
        {10, 0, kArchitectureAmd64, "", 1, 1},
        {10, 0, kArchitectureX86, "", 1, 0},
        {10, 0, kArchitectureAmd64, "32 64v64", 0, 0},
        {10, 0, kArchitectureAmd64, "32 64v32", 0, 0},
        {6, 3, kArchitectureAmd64, "64v64", 1, 0},
        {6, 0, kArchitectureAmd64, "32", 0, 1},
    };
    for (const Case& c : cases) {
        FakeMachine m;
        m.system.version = {true, kPlatformWin32Nt, c.major, c.minor};
        m.system.architecture = c.architecture;
        const std::string markers = c.markers;
        if (markers.find("32") == 0)
            m.registry.setValue(runtimeX86().markerKey, "Version", "10.0", RegistryView::View32);
        // A 32-bit runtime's marker in the 64-bit view says nothing of the 32-bit runtime.
        m.registry.setValue(runtimeX86().markerKey, "Version", "10.0", RegistryView::View64);
        for (const auto& [tag, view] :
             {std::pair{"64v32", RegistryView::View32}, std::pair{"64v64", RegistryView::View64}})
            if (markers.find(tag) != std::string::npos)
                m.registry.setValue(runtimeX64().markerKey, "Version", "", view);
        int32_t needX86 = 0, needX64 = 0;
        EXPECT_TRUE(checkRuntimes(m.platform, needX86, needX64));
        EXPECT_EQ(needX86, c.needX86) << c.major << "." << c.minor << " " << markers;
        EXPECT_EQ(needX64, c.needX64) << c.major << "." << c.minor << " " << markers;
    }
}

// Elevated, the shell of the session starts the program; without elevation, or when the shell
// cannot be reached or refuses, this process starts it.
TEST(UserStart, ThroughTheSessionsShellOnlyWhenElevated) {
    struct Case {
        bool elevated, shellTakes, directStarts;
        StartRoute route;
        int shellAsked;
    };
    const Case cases[] = {
        {true, true, true, StartRoute::UserShell, 1},
        {true, false, true, StartRoute::Direct, 1},
        {false, true, true, StartRoute::Direct, 0},
        {true, false, false, StartRoute::NotStarted, 1},
        {false, true, false, StartRoute::NotStarted, 0},
    };
    for (const Case& c : cases) {
        int shellAsked = 0;
        const StartRoute route = routeUserStart(
            c.elevated, [&] { return ++shellAsked, c.shellTakes; }, [&] { return c.directStarts; });
        EXPECT_EQ(route, c.route) << c.elevated << c.shellTakes << c.directStarts;
        EXPECT_EQ(shellAsked, c.shellAsked);
    }
}

// The box belongs to the front-most visible top-most window of the program: never another
// program's, never a hidden or ordinary one.
TEST(MessageOwner, FrontMostTopMostDialogOfThisProgram) {
    using W = StackedWindow;
    const std::vector<W> noDialog = {{1, false, true, true}, {2, true, true, false}};
    EXPECT_EQ(messageBoxOwner(noDialog), 0u);
    EXPECT_EQ(messageBoxOwner({}), 0u);
    const std::vector<W> progress = {{1, false, true, true},
                                     {2, true, false, true},  // hidden before the hand-off
                                     {3, true, true, true},   // the progress dialog
                                     {4, true, true, true}};  // the page under it
    EXPECT_EQ(messageBoxOwner(progress), 3u);
}

// Every copy of the assistant's programs is ended, whatever its session; one that cannot be
// ended stops the run with the "file in use" message before any file is touched.
TEST(StopAssistant, EndsEveryCopyOrStopsBeforeReplacing) {
    struct Case {
        std::set<uint32_t> protectedIds, unending;
        std::vector<uint32_t> ended;
        bool stops;
    };
    const Case cases[] = {
        {{}, {}, {7, 8, 9}, false},
        {{8}, {}, {7}, true},  // another user's copy, refused
        {{}, {9}, {7, 8}, true},
    };
    for (const Case& c : cases) {
        testing::InstallBench b;
        b.machine.processes.running = {
            {7, "Nexio_810.exe"}, {8, "NEXIO_810.EXE"}, {9, "QuorlePop_810.exe"}};
        b.machine.processes.protectedIds = c.protectedIds;
        b.machine.processes.unending = c.unending;
        InstallJob job(nullptr, "KORVA", kModeUpdate, "http://x", 1, "1", "C:\\Assist", 0x810,
                       b.machine.registry);
        bool returned = false;
        try {
            returned = stopAssistant(b.platform, b.app, job);
        } catch (const fakes::ProcessEnded& ended) {
            EXPECT_TRUE(ended.orderly);
        }
        EXPECT_EQ(returned, !c.stops);
        std::vector<uint32_t> ended;
        for (const auto& t : b.machine.processes.terminated) ended.push_back(t.id);
        EXPECT_EQ(ended, c.ended);
        ASSERT_EQ(b.machine.ui.boxes.size(), c.stops ? 1u : 0u);
        if (c.stops) {
            EXPECT_EQ(b.machine.ui.boxes[0].text, kReplaceFailedText);
        }
    }
}

// On a Windows whose code page lacks the characters, a name never becomes a "?" path: the
// entry fails, with a trace saying why.
TEST(ManifestNames, UnconvertibleNamesFailTheirEntry) {
    const std::string xml =
        u8"<Digest><FileInfo><File Path=\"Data\" FileName=\"说明.txt\" "
        u8"Digest=\"d\"/><File Path=\"\" FileName=\"a.dll\" Digest=\"e\"/>"
        u8"</FileInfo></Digest>";
    for (const char* charset : {"GBK", "CP1252"}) {
        IconvTextEncoding encoding(charset);
        DigestManifest manifest(encoding);
        ASSERT_TRUE(manifest.loadText(xml));
        const auto entries = manifest.entries();
        ASSERT_EQ(entries.size(), 2u);
        const bool chinese = std::string(charset) == "GBK";
        EXPECT_EQ(entries[0].unconvertible, chinese ? "" : u8"说明.txt");
        EXPECT_EQ(entries[0].fileName, chinese ? "说明.txt" : "??.txt");
        EXPECT_EQ(entries[1].unconvertible, "");
    }

    testing::InstallBench b;
    b.source("common", u8"说明.txt", "notes");
    b.publish();
    b.machine.text = IconvTextEncoding("CP1252");
    b.run(kModeInstall);
    const auto& traces = b.machine.kernel.traces;
    EXPECT_NE(std::find(traces.begin(), traces.end(), u8"name not in the ANSI code page(说明.txt)"),
              traces.end());
    EXPECT_EQ(b.journal.back(), "returned 0");
    for (const auto& entry : std::filesystem::recursive_directory_iterator(b.machine.root.path()))
        EXPECT_EQ(entry.path().filename().string().find('?'), std::string::npos) << entry.path();
}

}  // namespace
}  // namespace vaultaide
