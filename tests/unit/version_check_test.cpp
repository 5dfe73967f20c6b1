#include "app/version_check.h"

#include <gtest/gtest.h>

#include "app/bank_profile.h"
#include "app/system_utils.h"
#include "fakes/fake_platform.h"
#include "fakes/scripted_http.h"
#include "protocol/built_in_keys.h"
#include "protocol/envelope.h"

namespace vaultaide {
namespace {

using fakes::ProcessEnded;

TEST(Dispatch, EveryRowOfTheTable) {
    using A = DispatchAction;
    struct Row {
        const char* commandLine;
        int mode;
        int versions;  // installed vs server
        A action;
    };
    const Row rows[] = {
        {"-losefile", 0, -1, A::Repair},
        {"-losefile", 1, 0, A::Repair},
        {"-losefile", 2, 1, A::Repair},
        {"-losefile", 7, 0, A::Repair},
        {"-update", 0, -1, A::None},
        {"-update", 0, 1, A::None},
        {"-update", 1, -1, A::PromptNewerVersion},
        {"-update", 2, -1, A::ForcedUpdate},
        {"-update", 1, 0, A::None},
        {"-update", 2, 1, A::None},
        {"-update", 3, -1, A::None},
        {"", 0, -1, A::None},
        {"", 1, -1, A::PromptNewerVersion},
        {"", 1, 0, A::PromptReinstall},
        {"", 1, 1, A::PromptReinstall},
        {"", 2, -1, A::ForcedUpdate},
        {"", 2, 0, A::ForcedUpdate},
        {"", 2, 1, A::ForcedUpdate},
        {"-Update", 2, 1, A::ForcedUpdate},
        {"", -1, -1, A::None},
    };
    for (const Row& row : rows)
        EXPECT_EQ(decideDispatch(row.commandLine, row.mode, row.versions), row.action)
            << row.commandLine << " " << row.mode << " " << row.versions;
}

struct Check {
    fakes::FakeMachine machine;
    fakes::ScriptedHttp http;
    fakes::RecordingStartupUi ui;
    Platform platform{machine.kernel, machine.processes, machine.files,
                      machine.system, machine.ui,        machine.registry,
                      http,           machine.text,      machine.shell};
    AppState state;
    DownloadPath endpoint{"https://assist.example", {}, "", "/assist/server?reqtype=1&data="};
    std::optional<ProcessEnded> ended;

    Check() {
        applyBankProfile(state, endpoint);
        endpoint.ip = "https://assist.example";
    }

    void install(const std::string& version, const std::string& path = "C:\\Assist") {
        const std::string key = ownRegistryKeyPath(state);
        machine.registry.setValue(key, "Version", version);
        machine.registry.setValue(key, "Path", path);
    }
    void answer(const std::string& json) {
        std::string sealed;
        ASSERT_TRUE(sealEnvelope(builtInEnvelopeKeys(), json, sealed));
        http.replies.push_back({kHttpOk, sealed});
    }
    bool run(const std::string& commandLine) {
        try {
            return runVersionCheck(platform, builtInEnvelopeKeys(), ui, commandLine, state,
                                   endpoint);
        } catch (const ProcessEnded& e) {
            ended = e;
            return true;
        }
    }
};

TEST(VersionCheck, KeyPathHasAnEmptyVendorComponent) {
    AppState state;
    DownloadPath endpoint;
    applyBankProfile(state, endpoint);
    EXPECT_EQ(ownRegistryKeyPath(state), "Software\\\\Vellumark\\Nexio\\KORVA\\810");
}

TEST(VersionCheck, NoInstallationMeansFirstInstallationWithoutAsking) {
    Check c;
    EXPECT_FALSE(c.run(""));
    c.machine.registry.setValue(ownRegistryKeyPath(c.state), "Version", "1.0.0.1");
    EXPECT_FALSE(c.run(""));  // no Path
    c.install("1.0.0.1", std::string(261, 'x'));
    EXPECT_FALSE(c.run(""));  // longer than its 260-byte buffer
    c.install("1.0.0.1");
    c.machine.registry.deniedFullAccess.insert("software\\\\vellumark\\nexio\\korva\\810");
    EXPECT_FALSE(c.run(""));
    EXPECT_TRUE(c.http.urls.empty());
    EXPECT_TRUE(c.ui.opened.empty());
}

TEST(VersionCheck, FourFailedRequestsEndTheRunQuietly) {
    Check c;
    c.install("1.0.0.1");
    c.http.replies = {{kHttpTimeout, ""},
                      {kHttpOk, ""},
                      {kHttpFailed, ""},
                      {kHttpOk, ""},
                      {kHttpOk, "never asked"}};
    c.run("");
    ASSERT_TRUE(c.ended);
    EXPECT_EQ(c.ended->code, 0u);
    EXPECT_TRUE(c.ended->orderly);
    EXPECT_EQ(c.http.urls.size(), 4u);
    EXPECT_TRUE(c.machine.ui.boxes.empty());
    EXPECT_TRUE(c.ui.opened.empty());
}

// Only four dot-separated numbers of 1 to 5 digits are a version; any other "v" fails its
// attempt, so it is never stored, compared or registered.
TEST(VersionCheck, VersionsThatAreNotFourShortNumbersFailTheAttempt) {
    const std::pair<std::string, bool> texts[] = {
        {"1.0.0.2", true},
        {"65535.0.99999.1", true},
        {"0.0.0.0", true},
        {"", false},
        {"1.0.0", false},
        {"1.0.0.2.", false},
        {"1.0.0.123456", false},
        {".1.0.0", false},
        {"1..0.0", false},
        {"1.0.0.2 ", false},
        {"1.0.0.-2", false},
        {"1.0.0.2.3", false},
        {std::string(300, '9'), false},
    };
    for (const auto& [text, valid] : texts) EXPECT_EQ(isServerVersionText(text), valid) << text;

    Check late;
    late.install("1.0.0.1");
    late.answer(R"({"v":")" + std::string(300, '9') + R"(","url":"u","update":"2"})");
    late.answer(R"({"v":"999.0.0","url":"u","update":"2"})");
    late.answer(R"({"v":"1.0.0.3","url":"http://dl/810","update":"1"})");
    late.run("");
    EXPECT_EQ(late.http.urls.size(), 3u);
    EXPECT_EQ(late.state.serverVersion, "1.0.0.3");
    EXPECT_EQ(late.ui.opened, std::vector<std::string>{"prompt 0"});

    Check never;
    never.install("1.0.0.1");
    for (int i = 0; i < 4; ++i)
        never.answer(R"({"v":")" + std::string(300, '9') + R"(","url":"u","update":"2"})");
    never.run("");
    ASSERT_TRUE(never.ended);
    EXPECT_EQ(never.ended->code, 0u);
    EXPECT_EQ(never.http.urls.size(), 4u);
    EXPECT_EQ(never.state.serverVersion, "");
    EXPECT_TRUE(never.ui.opened.empty());
}

TEST(VersionCheck, ThirdAttemptAnswersAndTheRequestCarriesTheBankCode) {
    Check c;
    c.install("1.0.0.1");
    c.http.replies = {{kHttpFailed, ""}, {kHttpOk, ""}};
    c.answer(R"({"v":"1.0.0.2","url":"http://dl/810","update":"1"})");
    EXPECT_TRUE(c.run(""));
    EXPECT_FALSE(c.ended);
    EXPECT_EQ(c.http.urls.size(), 3u);
    std::string plain;
    const std::string prefix = "https://assist.example/assist/server?reqtype=1&data=";
    ASSERT_TRUE(openEnvelope(builtInEnvelopeKeys(), c.http.urls[2].substr(prefix.size()), plain));
    EXPECT_EQ(plain, "810");
    EXPECT_EQ(c.state.serverVersion, "1.0.0.2");
    EXPECT_EQ(c.state.downloadUrl, "http://dl/810");
    EXPECT_EQ(c.state.updateMode, 1);
    EXPECT_EQ(c.state.installPath, "C:\\Assist");
    EXPECT_EQ(c.ui.opened, std::vector<std::string>{"prompt 0"});
}

TEST(VersionCheck, UndecodableAnswersEndSilently) {
    for (const std::string body : {"ZZ", "0123456789", "{}", "not hex at all!"}) {
        Check c;
        c.install("1.0.0.1");
        c.http.replies = {{kHttpOk, body}};
        EXPECT_TRUE(c.run(""));
        EXPECT_TRUE(c.ui.opened.empty());
        EXPECT_EQ(c.state.installPath, "");
    }
    for (const std::string json : {"no json", "[]", R"({"v":["1"]})"}) {
        Check c;
        c.install("1.0.0.1");
        c.answer(json);
        EXPECT_TRUE(c.run(""));
        EXPECT_TRUE(c.ui.opened.empty()) << json;
        EXPECT_EQ(c.state.serverVersion, "");
    }
}

TEST(VersionCheck, NumericComparisonAndReinstallVariant) {
    Check c;
    c.install("1.0.0.10");
    c.answer(R"({"v":"1.0.0.9","url":"u","update":"1"})");
    c.run("");
    EXPECT_EQ(c.ui.opened, std::vector<std::string>{"prompt 1"});

    Check equal;
    equal.install("2.1.0.3");
    equal.answer(R"({"v":"2.1.0.3","url":"u","update":"1"})");
    equal.run("-update");
    EXPECT_TRUE(equal.ui.opened.empty());
}

TEST(VersionCheck, ForcedUpdateClosesTheFirstBrowserWithoutAsking) {
    Check c;
    c.install("3.0.0.0");
    c.machine.processes.running = {{5, "explorer.exe"}, {8, "IEXPLORE.EXE"}, {9, "iexplore.exe"}};
    c.answer(R"({"v":"1.0.0.0","url":"u","update":"2"})");
    c.run("");
    EXPECT_EQ(c.ui.opened, std::vector<std::string>{"progress 1"});
    ASSERT_EQ(c.machine.processes.terminated.size(), 1u);
    EXPECT_EQ(c.machine.processes.terminated[0].id, 8u);
    EXPECT_TRUE(c.machine.ui.boxes.empty());
}

TEST(VersionCheck, UpdateRunWithModeZeroDoesNothing) {
    Check c;
    c.install("1.0.0.0");
    c.answer(R"({"v":"9.0.0.0","url":"u"})");
    c.run("-update");
    EXPECT_EQ(c.state.updateMode, 0);
    EXPECT_TRUE(c.ui.opened.empty());
    EXPECT_EQ(c.state.installPath, "");  // left unset on this road
}

TEST(VersionCheck, RepairAsksAboutTheBrowserOnlyWhenOneRuns) {
    // An installed, current assistant; optionally a running browser and the user's answer.
    auto prepare = [](Check& check, bool browser, int answer) {
        check.install("1.0.0.0");
        if (browser) check.machine.processes.running = {{9, "iexplore.exe"}};
        check.machine.ui.answers = {answer};
        check.answer(R"({"v":"1.0.0.0","url":"u","update":"0"})");
    };

    Check quiet;
    prepare(quiet, false, kIdYes);
    quiet.run("-losefile");
    EXPECT_EQ(quiet.ui.opened, std::vector<std::string>{"progress 2"});
    EXPECT_TRUE(quiet.machine.ui.boxes.empty());

    Check no;
    prepare(no, true, kIdNo);
    EXPECT_TRUE(no.run("-losefile"));
    ASSERT_EQ(no.machine.ui.boxes.size(), 1u);
    EXPECT_EQ(no.machine.ui.boxes[0].text, "安装过程中需关闭IE浏览器，是否继续？");
    EXPECT_EQ(no.machine.ui.boxes[0].caption, no.state.assistantName);
    EXPECT_EQ(no.machine.ui.boxes[0].style, kMbYesNo);
    EXPECT_TRUE(no.ui.opened.empty());
    EXPECT_TRUE(no.machine.processes.terminated.empty());

    Check yes;
    prepare(yes, true, kIdYes);
    yes.run("-losefile");
    ASSERT_EQ(yes.machine.processes.terminated.size(), 1u);
    EXPECT_EQ(yes.machine.processes.terminated[0].exitCode, 0xFFFFFFF7u);
    EXPECT_EQ(yes.ui.opened, std::vector<std::string>{"progress 2"});
}

TEST(VersionCheck, ShortVersionTextsCountAsZero) {
    Check c;
    c.install("1.0");
    c.answer(R"({"v":"0.0.0.0","url":"u","update":"1"})");
    c.run("");
    EXPECT_EQ(c.ui.opened, std::vector<std::string>{"prompt 1"});
}

}  // namespace
}  // namespace vaultaide
