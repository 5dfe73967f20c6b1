// The decisions the dialogs make: placement, the options page's folder checks, the bars'
// fill and the version query's outcomes.
#include <gtest/gtest.h>

#include "app/bank_profile.h"
#include "app/version_query.h"
#include "fakes/fake_platform.h"
#include "fakes/scripted_http.h"
#include "protocol/built_in_keys.h"
#include "protocol/envelope.h"
#include "ui/dialog_texts.h"
#include "ui/dialogs/dialog_frame.h"
#include "ui/dialogs/install_folder.h"
#include "ui/progress_bar.h"

namespace vaultaide {
namespace {

TEST(DialogFrame, PlacementAndPositionMemory) {
    const WindowRect last{120, 80, 720, 440};
    struct Row {
        Placement rule;
        int32_t width, height;
        int32_t x, y;
    };
    const Row rows[] = {
        {Placement::AtLastWindow, 601, 389, 120, 80},
        {Placement::CentredByWindow, 450, 240, 640 - 225, 512 - 120},
        {Placement::CentredByClient, 595, 359, 640 - 297, 512 - 179},
    };
    for (const Row& row : rows) {
        const ScreenPoint at = placementPosition(row.rule, last, 1280, 1024, row.width, row.height);
        EXPECT_EQ(at.x, row.x);
        EXPECT_EQ(at.y, row.y);
    }
    // The version query: in the work area's middle (here above a 40-pixel taskbar), kept inside.
    const std::pair<WindowRect, ScreenPoint> areas[] = {
        {{0, 0, 1280, 984}, {640 - 300, 492 - 194}},
        {{100, 0, 1380, 1024}, {740 - 300, 512 - 194}},
        {{0, 0, 500, 300}, {0, 0}},
    };
    for (const auto& [area, expected] : areas) {
        const ScreenPoint at = centredInWorkArea(area, 601, 389);
        EXPECT_EQ(std::make_pair(at.x, at.y), std::make_pair(expected.x, expected.y));
    }
    EXPECT_EQ(frameTraits(DialogKind::VersionQuery).placement, Placement::Default);
    EXPECT_EQ(frameTraits(DialogKind::Progress, 0).placement, Placement::AtLastWindow);
    EXPECT_EQ(frameTraits(DialogKind::Progress, 2).placement, Placement::CentredByClient);

    AppState state;
    rememberWindowRect(state, {-32000, -32000, -31840, -31970}, true);
    EXPECT_EQ(state.lastWindowRect.left, 0);
    rememberWindowRect(state, last, false);
    EXPECT_EQ(state.lastWindowRect.right, 720);

    int32_t toggle = 0;
    EXPECT_EQ(swapProgressBackground(toggle, state), 178);
    EXPECT_EQ(swapProgressBackground(toggle, state), 177);
    EXPECT_EQ(toggle, 0);
}

TEST(DialogFrame, BarFillWidth) {
    struct Row {
        int32_t width, low, high, position, fill;
    };
    const Row rows[] = {
        {212, 0, 100, 0, 0},   {212, 0, 100, 50, 106}, {212, 0, 3, 1, 70},
        {212, 0, 11, 11, 212}, {212, 0, 10, 25, 212},  {212, 0, 0, 0, 0},
        {212, 5, 5, 9, 0},     {212, 0, 100, -4, 0},   {300, 0, 1, 2147483647, 300},
        {212, 10, 20, 5, 106},
    };
    for (const Row& row : rows)
        EXPECT_EQ(barFillWidth(row.width, row.low, row.high, row.position), row.fill)
            << row.low << ".." << row.high << " at " << row.position;
}

TEST(InstallFolder, TextsAndPathPieces) {
    AppState state;
    DownloadPath endpoint;
    applyBankProfile(state, endpoint);
    EXPECT_EQ(shortcutHeading(state), "创建澜州银行网银助手的快捷方式在：");
    EXPECT_EQ(installFolderUnder("C:\\Program Files", state),
              "C:\\Program Files\\澜州银行网上银行安全组件\\澜州银行网银助手");
    EXPECT_EQ(foldDoubleBackslashes(installFolderUnder("D:\\", state)),
              "D:\\澜州银行网上银行安全组件\\澜州银行网银助手");

    const std::pair<std::string, std::string> components[] = {
        {"C:\\a\\b", "C:"},
        {"", ""},
        {"\\\\server\\share", ""},
        {"folder", "folder"},
        // 0x815C is one character whose second byte is the backslash's.
        {"\x81\x5C\\x", "\x81\x5C"},
    };
    for (const auto& [text, first] : components) EXPECT_EQ(firstPathComponent(text), first);

    const std::pair<std::string, std::string> folds[] = {
        {"C:\\\\a\\\\\\b", "C:\\a\\\\b"},
        {"C:\\\\\\\\a", "C:\\\\a"},
        {"\x81\x5C\\b", "\x81\x5C\\b"},
        {"plain", "plain"},
    };
    for (const auto& [text, folded] : folds) EXPECT_EQ(foldDoubleBackslashes(text), folded);

    for (uint32_t type = 0; type <= 6; ++type)
        EXPECT_EQ(isRefusedDriveType(type), type == 1 || type == 2 || type == 5) << type;
}

// The page: scripted answers and drive types; every message box it shows.
struct Page : InstallFolderChecks {
    int ask(const std::string& text, const std::string& caption, unsigned style) override {
        asked.push_back(text + "|" + caption + "|" + std::to_string(style));
        return answer;
    }
    uint32_t driveType(const std::string& component) override {
        drives.push_back(component);
        return component == "C:" || component == "D:" ? 3 : component == "E:" ? 2 : 1;
    }
    bool keepsAccessLists(const std::string& component) override {
        return component != "D:";  // D: is a FAT32 disk
    }
    int answer = kIdYes;
    std::vector<std::string> asked, drives;
};

TEST(InstallFolder, NextButtonChecks) {
    fakes::FakeMachine machine;
    AppState state;
    DownloadPath endpoint;
    applyBankProfile(state, endpoint);
    const std::string browserBox = std::string(kCloseBrowserQuestion) + "|" + state.promptCaption +
                                   "|" + std::to_string(kMbYesNo);
    const std::string invalidBox =
        std::string(kInvalidFolderText) + "|" + state.promptCaption + "|0";

    // Internet Explorer runs and the user keeps it: nothing else happens.
    machine.processes.running = {{9, "iexplore.exe"}};
    Page page;
    page.answer = kIdNo;
    EXPECT_FALSE(confirmInstallFolder(machine.platform, state, page, "C:\\Assist"));
    EXPECT_EQ(page.asked, std::vector<std::string>{browserBox});
    EXPECT_TRUE(page.drives.empty());
    EXPECT_TRUE(machine.processes.terminated.empty());

    // Yes closes it before a removable drive is refused.
    page = Page();
    EXPECT_FALSE(confirmInstallFolder(machine.platform, state, page, "E:\\Assist"));
    EXPECT_EQ(page.asked, (std::vector<std::string>{browserBox, invalidBox}));
    ASSERT_EQ(machine.processes.terminated.size(), 1u);
    EXPECT_EQ(machine.processes.terminated[0].id, 9u);
    EXPECT_TRUE(state.installPath.empty());

    machine.processes.running.clear();
    for (const char* refused : {"", "\\Assist", "Assist", "Q:\\Assist", "D:\\Assist"}) {
        page = Page();
        EXPECT_FALSE(confirmInstallFolder(machine.platform, state, page, refused)) << refused;
        EXPECT_EQ(page.asked, std::vector<std::string>{invalidBox});
    }

    page = Page();
    EXPECT_TRUE(confirmInstallFolder(machine.platform, state, page, "C:\\\\Assist\\\\Bank"));
    EXPECT_TRUE(page.asked.empty());
    EXPECT_EQ(state.installPath, "C:\\Assist\\Bank");
    EXPECT_TRUE(machine.files.isDirectory("C:\\Assist\\Bank"));

    // A file where a folder should be: the folder cannot be made, the text stays stored.
    machine.writeFile("C:\\Blocked", "file");
    page = Page();
    EXPECT_FALSE(confirmInstallFolder(machine.platform, state, page, "C:\\Blocked\\Bank"));
    EXPECT_EQ(page.asked, std::vector<std::string>{invalidBox});
    EXPECT_EQ(state.installPath, "C:\\Blocked\\Bank");
}

TEST(VersionQuery, Outcomes) {
    fakes::FakeMachine machine;
    fakes::ScriptedHttp http;
    Platform platform{machine.kernel, machine.processes, machine.files,
                      machine.system, machine.ui,        machine.registry,
                      http,           machine.text,      machine.shell};
    AppState state;
    DownloadPath endpoint;
    applyBankProfile(state, endpoint);
    auto sealed = [](const std::string& json) {
        std::string text;
        EXPECT_TRUE(sealEnvelope(builtInEnvelopeKeys(), json, text));
        return text;
    };
    http.replies = {{kHttpTimeout, ""},
                    {kHttpOk, ""},
                    {kHttpOk, "not hex"},
                    {kHttpOk, sealed("[\"1.0.0.2\"]")},
                    {kHttpOk, sealed(R"({"v":"1.0.0.123456","url":"http://h/x"})")},
                    {kHttpOk, sealed(R"({"v":"1.0.0.2","url":"http://h/r","update":"2"})")}};
    const VersionQueryOutcome expected[] = {
        VersionQueryOutcome::NoAnswer, VersionQueryOutcome::NoAnswer,
        VersionQueryOutcome::Unusable, VersionQueryOutcome::Unusable,
        VersionQueryOutcome::NoAnswer, VersionQueryOutcome::Answered};
    for (const auto outcome : expected)
        EXPECT_EQ(queryServerVersion(platform, builtInEnvelopeKeys(), endpoint, state), outcome);
    EXPECT_EQ(state.serverVersion, "1.0.0.2");
    EXPECT_EQ(state.downloadUrl, "http://h/r");
    EXPECT_EQ(state.updateMode, 0);
    EXPECT_EQ(machine.kernel.traces.back(),
              R"(Data_D:({"v":"1.0.0.2","url":"http://h/r","update":"2"}))");
}

}  // namespace
}  // namespace vaultaide
