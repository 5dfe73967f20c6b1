#include "app/startup.h"

#include <gtest/gtest.h>

#include "app/bank_profile.h"
#include "fakes/fake_platform.h"
#include "protocol/built_in_keys.h"
#include "protocol/http_settings.h"

namespace vaultaide {
namespace {

using fakes::FakeMachine;
using fakes::ProcessEnded;

struct StartRun {
    FakeMachine machine;
    AppState state;
    DownloadPath endpoint;
    fakes::RecordingStartupUi ui;
    uint32_t messageId = 0;
    std::optional<ProcessEnded> ended;

    void start(const std::string& commandLine) {
        try {
            // The recovery of a cut-off update marks its turn among the traces.
            EXPECT_FALSE(initInstance(
                machine.platform, builtInEnvelopeKeys(), ui, commandLine, messageId, state,
                endpoint,
                [](Platform& platform, const AppState&) { platform.kernel.trace("recovery"); }));
        } catch (const ProcessEnded& e) {
            ended = e;
        }
    }
};

TEST(Startup, NamesCarryChannelAndBankCode) {
    AppState state;
    DownloadPath endpoint;
    applyBankProfile(state, endpoint);
    EXPECT_EQ(broadcastMessageName(state), "qv_detect_tools_single_msgidKORVA_2064");
    EXPECT_EQ(singleInstanceMutexName(state), "downloader_KORVA_810");
}

TEST(Startup, EndCommandBroadcastsOnceAndTakesNoMutex) {
    StartRun run;
    run.machine.kernel.mutexes.insert("downloader_KORVA_810");  // a normal run is active
    run.start("-t");
    EXPECT_FALSE(run.ended);
    ASSERT_EQ(run.machine.kernel.broadcasts.size(), 1u);
    const auto& b = run.machine.kernel.broadcasts[0];
    EXPECT_EQ(b.messageId,
              run.machine.kernel.messages.at("qv_detect_tools_single_msgidKORVA_2064"));
    EXPECT_EQ(b.messageId, run.messageId);
    EXPECT_EQ(b.wParam, 1u);
    EXPECT_EQ(b.lParam, 0);
    EXPECT_TRUE(run.machine.kernel.traces.empty());
    EXPECT_EQ(run.machine.kernel.mutexes.size(), 1u);
}

TEST(Startup, OnlyTheExactEndCommandBroadcasts) {
    for (const std::string commandLine : {"-T", " -t", "-t ", "-t -update", "", "-update"}) {
        StartRun run;
        run.start(commandLine);
        EXPECT_FALSE(run.ended) << commandLine;
        EXPECT_TRUE(run.machine.kernel.broadcasts.empty()) << commandLine;
        EXPECT_EQ(run.machine.kernel.traces.size(), 5u) << commandLine;  // recovery, endpoint
        EXPECT_TRUE(run.machine.kernel.mutexes.count("downloader_KORVA_810"));
    }
}

TEST(Startup, SecondInstanceEndsOrderlyWithoutTraceOrMessage) {
    StartRun run;
    run.machine.kernel.mutexes.insert("downloader_KORVA_810");
    run.start("");
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.ended->code, 0u);
    EXPECT_TRUE(run.ended->orderly);
    EXPECT_TRUE(run.machine.kernel.traces.empty());
    EXPECT_TRUE(run.machine.ui.boxes.empty());
    EXPECT_TRUE(run.ui.opened.empty());
}

TEST(Startup, FailedRegistrationShowsErrorBeforeLookingAtTheCommandLine) {
    for (const std::string commandLine : {"-t", ""}) {
        StartRun run;
        run.machine.kernel.failMessageRegistration = true;
        run.start(commandLine);
        EXPECT_FALSE(run.ended);
        ASSERT_EQ(run.machine.ui.boxes.size(), 1u);
        EXPECT_EQ(run.machine.ui.boxes[0].text, "Can not initialize.");
        EXPECT_EQ(run.machine.ui.boxes[0].caption, "vaultaide_810");
        EXPECT_EQ(run.machine.ui.boxes[0].style, kMbIconError);
        EXPECT_TRUE(run.machine.kernel.broadcasts.empty());
        EXPECT_TRUE(run.machine.kernel.mutexes.empty());
        EXPECT_EQ(run.messageId, 0u);
    }
}

TEST(Startup, NormalRunTracesEndpointInOrder) {
    StartRun run;
    run.machine.kernel.title = "vaultaide_810 (1)";  // a renamed download of the program
    run.machine.writeFile("C:\\work\\serverip.dat", "http://127.0.0.1\n:8080\n/assist/x?data=\n");
    run.start("");
    EXPECT_FALSE(run.ended);
    EXPECT_EQ(run.machine.kernel.privilegeRequests, 1);
    EXPECT_EQ(run.machine.ui.commonControlInits, 1);
    EXPECT_EQ(run.machine.kernel.traces,
              (std::vector<std::string>{"recovery", "g_downloadpath.ip(http://127.0.0.1)",
                                        "g_downloadpath.path(/assist/x?data=)",
                                        "g_downloadpath.port(:8080)",
                                        "http://127.0.0.1:8080/assist/x?data="}));
    // Nothing installed: the first-installation path opens.
    EXPECT_EQ(run.ui.opened, std::vector<std::string>{"query"});
    EXPECT_TRUE(run.state.createDesktopShortcut && run.state.createProgramGroup &&
                run.state.createQuickLaunch);
    EXPECT_FALSE(run.state.runAtStartup);
    EXPECT_EQ(run.state.progressDialog, nullptr);
    EXPECT_EQ(downloadSettings().userAgent, "vaultaide_810 (1)");
    setDownloadAgent(kDownloadUserAgent);
}

TEST(Startup, ShortServerFileEndsTheRunAtOnce) {
    StartRun run;
    run.machine.writeFile("C:\\work\\serverip.dat", "http://127.0.0.1\n:8080\n");
    run.start("");
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.ended->code, 0u);
    EXPECT_FALSE(run.ended->orderly);
    // A cut-off update is put back even when no server can be asked.
    EXPECT_EQ(run.machine.kernel.traces, std::vector<std::string>{"recovery"});
}

}  // namespace
}  // namespace vaultaide
