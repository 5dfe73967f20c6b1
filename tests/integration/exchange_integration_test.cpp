// The client's exchange and downloads against vaultaide-server and scripted servers on
// 127.0.0.1.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "fakes/fake_platform.h"
#include "fakes/recording_progress_view.h"
#include "integration/raw_http_server.h"
#include "integration/server_process.h"
#include "protocol/built_in_keys.h"
#include "protocol/download.h"
#include "protocol/envelope.h"
#include "protocol/http_settings.h"
#include "protocol/server_answer.h"
#include "ui/bind_callback.h"
#include "ui/progress_reporter.h"

namespace vaultaide {
namespace {

using testing::RawHttpServer;
using testing::ServerProcess;
namespace fs = std::filesystem;

const char* kConfig = R"({"banks": {
    "810": {"version": "1.0.0.5", "url": "{self}/releases/810", "update": "2"},
    "166": {"version": "2.0.0.0", "url": "https://cdn.example/166", "update": "0"}}})";

class Exchange : public ::testing::Test {
protected:
    fakes::FakeMachine machine;
    fakes::TempDir root;

    bool request(const DownloadPath& endpoint, const std::string& plaintext, std::string& answer) {
        return sendServerRequest(machine.http, machine.kernel, builtInEnvelopeKeys(), endpoint,
                                 endpoint.path, plaintext, answer);
    }
};

TEST_F(Exchange, FullRequestAndAnswer) {
    ServerProcess server(kConfig, root.path().string());
    DownloadPath endpoint{"http://127.0.0.1",
                          {},
                          ":" + std::to_string(server.port()),
                          "/assist/server?reqtype=1&data="};
    std::string answer, plaintext;
    ASSERT_TRUE(request(endpoint, "810", answer));
    ASSERT_TRUE(openServerAnswer(builtInEnvelopeKeys(), answer, plaintext));
    ServerAnswer fields;
    ASSERT_TRUE(readServerAnswer(plaintext, machine.text, fields));
    EXPECT_EQ(fields.v, "1.0.0.5");
    EXPECT_EQ(fields.url, server.base() + "/releases/810");
    EXPECT_EQ(fields.update, "2");

    ASSERT_TRUE(request(endpoint, "166", answer));
    ASSERT_TRUE(openServerAnswer(builtInEnvelopeKeys(), answer, plaintext));
    ASSERT_TRUE(readServerAnswer(plaintext, machine.text, fields));
    EXPECT_EQ(fields.url, "https://cdn.example/166");
    EXPECT_EQ(server.stop(), 0);
    const std::string log = server.log();
    EXPECT_NE(log.find("GET /assist/server?reqtype=1&data="), std::string::npos) << log;
    EXPECT_NE(log.find("HTTP/1.0 200"), std::string::npos) << log;
    EXPECT_NE(log.find("bank 810 version 1.0.0.5"), std::string::npos) << log;
    EXPECT_NE(log.find("vaultaide-server stopped"), std::string::npos) << log;
}

TEST_F(Exchange, UnknownBankAndUndecodableRequestGetEmptyAnswers) {
    ServerProcess server(kConfig, root.path().string());
    DownloadPath endpoint{server.base(), {}, "", "/assist/server?reqtype=1&data="};
    std::string answer = "old";
    ASSERT_TRUE(request(endpoint, "999", answer));
    EXPECT_EQ(answer, "");
    auto client = machine.http.openClient(serverExchangeSettings());
    answer = "old";
    EXPECT_EQ(client->get(server.base() + "/assist/server?reqtype=1&data=0102", answer), kHttpOk);
    EXPECT_EQ(answer, "");
    server.stop();
    EXPECT_NE(server.log().find(" 404 0 unknown bank 999"), std::string::npos) << server.log();
    EXPECT_NE(server.log().find(" 400 0 request does not open"), std::string::npos);
}

TEST_F(Exchange, SilentFirstBaseTimesOutAndTheSecondAnswers) {
    RawHttpServer silent("");
    ServerProcess server(kConfig, root.path().string());
    DownloadPath endpoint{
        "http://unused", {silent.base(), server.base()}, "", "/assist/server?reqtype=1&data="};
    std::string answer;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(request(endpoint, "810", answer));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(2500));
    EXPECT_LT(waited, std::chrono::seconds(15));
    EXPECT_FALSE(answer.empty());
    EXPECT_EQ(
        machine.kernel.traces,
        (std::vector<std::string>{"strSendData:(810)",
                                  "domain:(" + silent.base() + "/assist/server?reqtype=1&data=)",
                                  "domain:(" + server.base() + "/assist/server?reqtype=1&data=)"}));
    EXPECT_EQ(silent.requests().size(), 1u);
}

TEST_F(Exchange, ClientResultsForTimeOutRefusalSchemeAndErrorPages) {
    auto client = machine.http.openClient(serverExchangeSettings());
    std::string answer = "old";
    RawHttpServer silent("");
    EXPECT_EQ(client->get(silent.base() + "/x", answer), kHttpTimeout);
    EXPECT_EQ(answer, "old");
    int closedPort;
    {
        RawHttpServer gone(RawHttpServer::response(200, ""));
        closedPort = gone.port();
    }
    EXPECT_EQ(client->get("http://127.0.0.1:" + std::to_string(closedPort) + "/", answer),
              kHttpFailed);
    EXPECT_EQ(client->get("ftp://127.0.0.1/file", answer), kHttpFailed);
    RawHttpServer errorPage(RawHttpServer::response(500, "<html>broken</html>"));
    EXPECT_EQ(client->get(errorPage.base() + "/x", answer), kHttpOk);
    EXPECT_EQ(answer, "<html>broken</html>");
}

TEST_F(Exchange, RequestCarriesTheFixedHeadersInOrder) {
    RawHttpServer capture(RawHttpServer::response(200, "ok"));
    std::string answer;
    ASSERT_EQ(machine.http.openClient(serverExchangeSettings())
                  ->get(capture.base() + "/assist/server?reqtype=1&data=AB", answer),
              kHttpOk);
    ASSERT_EQ(capture.requests().size(), 1u);
    const std::string head = capture.requests()[0];
    EXPECT_EQ(head.rfind("GET /assist/server?reqtype=1&data=AB HTTP/1.0\r\n", 0), 0u) << head;
    EXPECT_NE(head.find("User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; "
                        ".NET CLR 2.0.50727)"),
              std::string::npos);
    size_t last = 0;
    for (const char* header :
         {"Accept: *,*/*", "Accept-Language: zh-cn",
          "Content-Type: application/x-www-form-urlencoded", "Accept-Encoding: gzip, deflate"}) {
        const size_t at = head.find(header);
        ASSERT_NE(at, std::string::npos) << header;
        EXPECT_GT(at, last) << header;
        last = at;
    }
}

class Downloads : public Exchange {
protected:
    std::string target = "C:\\work\\file.bin";
    std::string hostTarget() { return machine.files.hostPath(target); }
    bool download(const std::string& url, DownloadSink* sink = nullptr) {
        return downloadFile(machine.http, machine.files, url, target, sink);
    }
    std::string content() { return fakes::readHostFile(hostTarget()); }
};

TEST_F(Downloads, CompleteBodyReplacesTheFileAndReportsProgress) {
    const std::string body(10000, 'z');
    RawHttpServer server(RawHttpServer::response(200, body));
    machine.writeFile(target, "older");
    fakes::RecordingProgressView view;
    uint64_t now = 0;  // reports far apart: each one reaches the dialog
    ProgressReporter reporter(view, [&] { return now += 1000; });
    CBindCallback sink(reporter);
    ASSERT_TRUE(download(server.base() + "/f", &sink));
    EXPECT_EQ(content(), body);
    EXPECT_FALSE(fs::exists(hostTarget() + ".partial"));
    int reports = 0;
    for (const auto& line : view.log) reports += line.rfind("text 1023 ", 0) == 0;
    EXPECT_GE(reports, 3);
    ASSERT_GE(view.log.size(), 4u);
    const size_t n = view.log.size();
    EXPECT_EQ(view.log[n - 4], "bar 1021 range32 0 10000");
    EXPECT_EQ(view.log[n - 3], "bar 1021 pos 10000 0");
    EXPECT_EQ(view.log[n - 2], "text 1023 100.00%");
    EXPECT_EQ(view.log[n - 1], "refresh 1023");
}

TEST_F(Downloads, ShortBodyFailsEveryAttemptAndKeepsTheOlderFile) {
    RawHttpServer server(RawHttpServer::response(200, std::string(50, 'a'), true, 100));
    machine.writeFile(target, "older");
    EXPECT_FALSE(download(server.base() + "/f"));
    EXPECT_EQ(server.requests().size(), 5u);
    EXPECT_EQ(content(), "older");
    EXPECT_FALSE(fs::exists(hostTarget() + ".partial"));
}

TEST_F(Downloads, MissingContentLengthFailsANonEmptyBody) {
    RawHttpServer server(RawHttpServer::response(200, "body", false));
    EXPECT_FALSE(download(server.base() + "/f"));
    EXPECT_EQ(server.requests().size(), 5u);
    EXPECT_FALSE(fs::exists(hostTarget()));
}

TEST_F(Downloads, NotFoundCompletesWithoutWriting) {
    RawHttpServer server(RawHttpServer::response(404, "missing"));
    EXPECT_FALSE(download(server.base() + "/f"));
    EXPECT_EQ(server.requests().size(), 5u);
    machine.writeFile(target, "older");
    EXPECT_TRUE(download(server.base() + "/f"));
    EXPECT_EQ(server.requests().size(), 6u);
    EXPECT_EQ(content(), "older");
}

TEST_F(Downloads, OtherSchemesSendNothing) { EXPECT_FALSE(download("ftp://127.0.0.1/file.bin")); }

TEST_F(Downloads, NoContentLengthShowsZeroPercentNotADivisionByZero) {
    RawHttpServer server(RawHttpServer::response(200, "body", false));
    fakes::RecordingProgressView view;
    ProgressReporter reporter(view);
    CBindCallback sink(reporter);
    EXPECT_FALSE(download(server.base() + "/f", &sink));
    ASSERT_FALSE(view.log.empty());
    EXPECT_EQ(view.log[0], "bar 1021 range32 0 0");
    EXPECT_EQ(view.log[2], "text 1023 0.00%");
}

TEST_F(Downloads, BodyWithoutLengthStopsAtItsFirstPiece) {
    RawHttpServer server(RawHttpServer::response(200, std::string(200000, 'x'), false));
    fakes::RecordingProgressView view;
    ProgressReporter reporter(view);
    CBindCallback sink(reporter);
    EXPECT_FALSE(download(server.base() + "/f", &sink));
    int reports = 0;
    for (const auto& line : view.log) reports += line.rfind("text 1023 ", 0) == 0;
    // One piece per attempt, not the whole body.
    EXPECT_EQ(reports, 5);
    EXPECT_FALSE(fs::exists(hostTarget()));
}

TEST_F(Downloads, BoundedDownloadRefusesALongerAnnouncedBodyUnread) {
    RawHttpServer server(RawHttpServer::response(200, std::string(100, 'b')));
    fakes::RecordingProgressView view;
    ProgressReporter reporter(view);
    CBindCallback sink(reporter);
    HttpSettings settings = downloadSettings();
    settings.maxBytes = 99;
    EXPECT_EQ(machine.http.downloadOnce(server.base() + "/f", target, settings, &sink),
              kHttpFailed);
    EXPECT_TRUE(view.log.empty());
    EXPECT_FALSE(fs::exists(hostTarget()));
    settings.maxBytes = 100;
    EXPECT_EQ(machine.http.downloadOnce(server.base() + "/f", target, settings, &sink), kHttpOk);
    EXPECT_EQ(content(), std::string(100, 'b'));
}

TEST_F(Downloads, StaticFilesFromTheUpdateServerKeepTheirLength) {
    fs::create_directories(root.path() / "releases" / "810" / "Data");
    std::string body;
    for (int i = 0; i < 70000; ++i) body += static_cast<char>(i * 7);
    fakes::writeHostFile((root.path() / "releases/810/Data/blob.dat").string(), body);
    ServerProcess server(kConfig, root.path().string());
    ASSERT_TRUE(download(server.base() + "/releases/810/Data/blob.dat"));
    EXPECT_EQ(content(), body);
    fs::remove(hostTarget());
    EXPECT_FALSE(download(server.base() + "/releases/810/Data/none.dat"));
}

TEST_F(Exchange, ServerAnswersConcurrentClients) {
    ServerProcess server(kConfig, root.path().string());
    DownloadPath endpoint{server.base(), {}, "", "/assist/server?reqtype=1&data="};
    std::atomic<int> good{0};
    std::vector<std::thread> clients;
    for (int t = 0; t < 8; ++t)
        clients.emplace_back([&] {
            CurlTransport http([](const std::string& p) { return p; });
            fakes::FakeKernel kernel;
            for (int i = 0; i < 5; ++i) {
                std::string answer, plaintext;
                if (sendServerRequest(http, kernel, builtInEnvelopeKeys(), endpoint, endpoint.path,
                                      "810", answer) &&
                    openServerAnswer(builtInEnvelopeKeys(), answer, plaintext))
                    ++good;
            }
        });
    for (auto& c : clients) c.join();
    EXPECT_EQ(good, 40);
}

}  // namespace
}  // namespace vaultaide
