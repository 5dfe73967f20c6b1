// The Windows program's exchange with the update server under Wine: WinInet, the registry of
// an installation, and the quiet end when the server does not answer.
#include <gtest/gtest.h>

#include "integration/raw_http_server.h"
#include "integration/server_process.h"
#include "protocol/built_in_keys.h"
#include "protocol/envelope.h"
#include "wine/wine_bench.h"

namespace vaultaide::wine {
namespace {

using testing::RawHttpServer;
using testing::ServerProcess;

const char* kOwnKey = "Software\\\\Vellumark\\Nexio\\KORVA\\810";

class WineExchange : public ::testing::Test {
protected:
    fakes::TempDir work;
    std::string dir() const { return work.path().string(); }

    static void TearDownTestSuite() {
        runProgram(windowsProgram("wadriver.exe"), {"reg-delete", kOwnKey}, "/tmp");
    }
    static void SetUpTestSuite() {
        // The registered installation of these tests; other suites clean up after themselves.
        const std::string driver = windowsProgram("wadriver.exe");
        ASSERT_EQ(runProgram(driver, {"reg-set", kOwnKey, "Version", "1.0.0.1"}, "/tmp").exitCode,
                  0);
        ASSERT_EQ(runProgram(driver, {"reg-set", kOwnKey, "Path", "C:\\Assist"}, "/tmp").exitCode,
                  0);
    }

    void pointAt(int port) {
        writeHostFile(dir() + "/serverip.dat", "http://127.0.0.1\n:" + std::to_string(port) +
                                                   "\n/assist/server?reqtype=1&data=\n");
    }
    WineRun runDownloader() { return runProgram(windowsProgram("vaultaide_810.exe"), {}, dir()); }
};

TEST_F(WineExchange, WinInetSendsTheFixedRequest) {
    RawHttpServer capture(RawHttpServer::response(200, "not an envelope"));
    pointAt(capture.port());
    const WineRun run = runDownloader();
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_EQ(capture.requests().size(), 1u) << run.output;  // an answer, if unusable, ends it
    const std::string head = capture.requests()[0] + "\r\n";
    EXPECT_EQ(head.rfind("GET /assist/server?reqtype=1&data=308200A6048180", 0), 0u) << head;
    EXPECT_NE(head.find(" HTTP/1.0\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; "
                        ".NET CLR 2.0.50727)\r\n"),
              std::string::npos)
        << head;
    size_t last = 0;
    for (const char* header : {"Accept: *,*/*\r\n", "Accept-Language: zh-cn\r\n",
                               "Content-Type: application/x-www-form-urlencoded\r\n",
                               "Accept-Encoding: gzip, deflate\r\n"}) {
        const size_t at = head.find(header);
        ASSERT_NE(at, std::string::npos) << header << head;
        EXPECT_GT(at, last) << header;
        last = at;
    }
}

TEST_F(WineExchange, InstalledRunAsksTheServer) {
    fakes::TempDir root;
    ServerProcess server(R"({"banks": {"810": {"version": "1.0.0.1", "url": "{self}/r",
                                                  "update": "0"}}})",
                         root.path().string());
    pointAt(server.port());
    const WineRun run = runDownloader();
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_GE(run.traces.size(), 5u) << run.output;
    EXPECT_EQ(run.traces[4], "strSendData:(810)");
    server.stop();
    EXPECT_NE(server.log().find("HTTP/1.0 200"), std::string::npos) << server.log();
    EXPECT_NE(server.log().find("bank 810 version 1.0.0.1"), std::string::npos) << server.log();
}

TEST_F(WineExchange, SilentServerEndsTheRunAfterFourAttempts) {
    int closedPort;
    {
        RawHttpServer gone(RawHttpServer::response(200, ""));
        closedPort = gone.port();
    }
    pointAt(closedPort);
    const WineRun run = runDownloader();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_FALSE(run.timedOut);
    int requests = 0;
    for (const auto& trace : run.traces) requests += trace == "strSendData:(810)";
    EXPECT_EQ(requests, 4) << run.output;
}

// A "v" the program could not store or compare (here 300 digits) fails its attempt: four such
// answers end the run quietly, no update starts, and the installation keeps its version.
TEST_F(WineExchange, MalformedVersionAnswersFailTheirAttempts) {
    std::string sealed;
    ASSERT_TRUE(sealEnvelope(
        builtInEnvelopeKeys(),
        R"({"v":")" + std::string(300, '9') + R"(","url":"http://127.0.0.1:9/r","update":"2"})",
        sealed));
    RawHttpServer forged(RawHttpServer::response(200, sealed));
    pointAt(forged.port());
    const WineRun run = runDownloader();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(forged.requests().size(), 4u) << run.output;
    const WineRun version =
        runProgram(windowsProgram("wadriver.exe"),
                   {"reg-get", "32", "Software\\Vellumark\\Nexio\\KORVA\\810", "Version"}, dir());
    // Wine stores the terminator the program's REG_SZ is followed by: the text is what counts.
    EXPECT_EQ(version.output.rfind("1 8 312e302e302e3100", 0), 0u) << version.output;
}

}  // namespace
}  // namespace vaultaide::wine
