// vaultaide-server against clients that do not play by the rules, and its start-up checks,
// TLS and configuration reload, over 127.0.0.1.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "integration/raw_client.h"
#include "integration/server_process.h"
#include "protocol/built_in_keys.h"
#include "protocol/envelope.h"
#include "protocol/http_settings.h"

namespace vaultaide {
namespace {

using testing::connectTo;
using testing::exchangeRaw;
using testing::receiveAll;
using testing::runServerToEnd;
using testing::sealedRequest;
using testing::ServerProcess;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class Server : public ::testing::Test {
protected:
    fakes::TempDir root;
    void SetUp() override {
        fs::create_directories(root.path() / "releases" / "810");
        std::string blob;
        for (int i = 0; i < 300000; ++i) blob += static_cast<char>('a' + i % 26);
        fakes::writeHostFile((root.path() / "releases" / "810" / "blob.dat").string(), blob);
        // 说明.txt under its GBK bytes, as the publisher writes it.
        fakes::writeHostFile((root.path() / "releases" / "810" / "\xcb\xb5\xc3\xf7.txt").string(),
                             "shuoming");
        mkfifo((root.path() / "releases" / "810" / "fifo").c_str(), 0644);
    }
};

TEST_F(Server, HostileRequestsAreRefusedAndEachLogsOneEscapedLine) {
    ServerProcess server(testing::kReleaseConfig, root.path().string());
    const std::string many(65, 'x');
    std::string manyHeaders;
    for (int i = 0; i < 65; ++i) manyHeaders += "X-" + std::to_string(i) + ": y\r\n";
    const std::string version = sealedRequest("810");
    const struct {
        std::string request;
        std::string answerStart;
    } cases[] = {
        {"GET /releases/810/" + std::string(9000, 'l') + " HTTP/1.1\r\n\r\n", "HTTP/1.1 414 "},
        {"GET /releases/810/blob.dat HTTP/1.1\r\nHost: h\r\nX: " + std::string(10000, 'z') +
             "\r\nRange: bytes=0-0\r\nConnection: close\r\n\r\n",
         "HTTP/1.1 206 "},
        {"GET /releases/810/%zz HTTP/1.1\r\n\r\n", "HTTP/1.1 400 "},
        {"GET /releases/810/fifo HTTP/1.0\r\n\r\n", "HTTP/1.1 404 "},
        // The endpoint under an escaped name, and a range it does not honour.
        {"GET /assist/%73erver" + version.substr(14) + " HTTP/1.0\r\nHost: h\r\n\r\n",
         "HTTP/1.1 200 OK\r\nContent-Length: "},
        {"GET " + version + " HTTP/1.0\r\nHost: h\r\nRange: bytes=0-9\r\n\r\n",
         "HTTP/1.1 200 OK\r\nContent-Length: "},
        {"GET " + version + " HTTP/1.0\r\nHost: h\r\nRange: bytes=5000-, 0-1\r\n\r\n",
         "HTTP/1.1 200 OK\r\nContent-Length: "},
        {"POST /releases/810/blob.dat HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello",
         "HTTP/1.1 405 Method Not Allowed\r\n"},
        {"GET /releases/810/blob.dat HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello", "HTTP/1.1 413 "},
        {"GET /releases/810/blob.dat HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
         "HTTP/1.1 413 "},
        {"GET /releases/810/blob.dat HTTP/1.1\r\nHost: h\r\nRange: bytes=0-,0-,0-\r\n\r\n",
         "HTTP/1.1 416 "},
        {"GET /releases/810/blob.dat HTTP/1.0\r\nRange: bytes=0-1\r\nRange: bytes=0-1\r\n\r\n",
         "HTTP/1.1 416 "},
        {"GET /releases/810/blob.dat HTTP/1.1\r\nX: a\nRange: bytes=0-1,5-6\r\n\r\n",
         "HTTP/1.1 400 "},
        {"GET /releases/810/blob.dat HTTP/1.1\r\n" + manyHeaders + "\r\n", "HTTP/1.1 431 "},
        {"GET /releases/810/blob.dat HTTP/1.1\r\nX: " + std::string(20000, 'z') + "\r\n\r\n",
         "HTTP/1.1 431 "},
        {"GET /releases/../../etc/passwd HTTP/1.0\r\n\r\n", "HTTP/1.1 404 "},
        {"GET /releases/810/blob.dat HTTP/1.0\r\nRange: bytes=400000-\r\n\r\n",
         "HTTP/1.1 416 Range Not Satisfiable\r\n"},
        {"GET /releases/810/blob.dat HTTP/1.0\r\nRange: bytes=26-30\r\n\r\n",
         "HTTP/1.1 206 Partial Content\r\n"},
        {"GET /releases/810/%CB%B5%C3%F7.txt HTTP/1.0\r\n\r\n", "HTTP/1.1 200 OK\r\n"},
        {"GET /\xe4\xb8\xad HTTP/1.0\r\n\r\n", "HTTP/1.1 404 "},
        {"GET " + sealedRequest("999\n2030-01-01T00:00:00Z 6.6.6.6 forged") + " HTTP/1.0\r\n\r\n",
         "HTTP/1.1 404 "},
        // Empty lines before a request line are passed over; a proxy's absolute target is
        // taken; HTTP/1.1 needs exactly one Host.
        {"\r\n\r\nGET /releases/810/%CB%B5%C3%F7.txt HTTP/1.0\r\n\r\n", "HTTP/1.1 200 OK\r\n"},
        {"GET HTTP://h:1/releases/810/%CB%B5%C3%F7.txt HTTP/1.1\r\nHost: x\r\nConnection: "
         "close\r\n\r\n",
         "HTTP/1.1 200 OK\r\n"},
        {"GET http://h:1 HTTP/1.1\r\nHost: h:1\r\nConnection: close\r\n\r\n", "HTTP/1.1 404 "},
        {"GET /releases/810/%CB%B5%C3%F7.txt HTTP/1.1\r\n\r\n", "HTTP/1.1 400 "},
        {"GET /releases/810/%CB%B5%C3%F7.txt HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n",
         "HTTP/1.1 400 "},
    };
    for (const auto& c : cases) {
        bool closed = false;
        const std::string answer =
            exchangeRaw(server.port(), c.request, std::chrono::seconds(5), false, &closed);
        EXPECT_EQ(answer.rfind(c.answerStart, 0), 0u) << c.request.substr(0, 80) << "\n" << answer;
        // Refusals end the connection, though the requests would keep it open.
        if (answer.compare(9, 1, "2") != 0 && answer.compare(9, 3, "404") != 0) {
            EXPECT_TRUE(closed) << answer;
        }
        std::string plaintext;
        if (c.request.find("erver?") != std::string::npos && answer.compare(9, 3, "200") == 0) {
            EXPECT_TRUE(openServerAnswer(builtInEnvelopeKeys(),
                                         answer.substr(answer.find("\r\n\r\n") + 4), plaintext))
                << answer;
        }
    }
    const std::string ranged = exchangeRaw(server.port(), std::string(cases[17].request));
    EXPECT_NE(ranged.find("Content-Range: bytes 26-30/300000\r\n"), std::string::npos) << ranged;
    EXPECT_EQ(ranged.substr(ranged.size() - 5), "abcde");
    const std::string chinese = exchangeRaw(server.port(), cases[18].request);
    EXPECT_EQ(chinese.substr(chinese.size() - 8), "shuoming");

    server.stop();
    const std::string log = server.log();
    size_t lines = 0;
    for (char c : log) lines += c == '\n';
    // and the warnings (TEST-KEYS, a tree without manifests), "stopped"
    EXPECT_EQ(lines, std::size(cases) + 2 + 3) << log;
    EXPECT_NE(log.find("warning: bank 810: {self}/releases/810/Digest.xml is not served"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("\n2030-01-01"), std::string::npos) << log;
    EXPECT_NE(log.find("unknown bank 999\\x0a2030-01-01T00:00:00Z 6.6.6.6 forged"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(" GET /\\xe4\\xb8\\xad HTTP/1.0 404 0"), std::string::npos) << log;
    EXPECT_NE(log.find(" POST /releases/810/blob.dat HTTP/1.1 405 0 method not allowed"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(" GET /releases/810/llll"), std::string::npos) << log;
    EXPECT_NE(log.find("... HTTP/1.1 414 0 request target over 8192 bytes\n"), std::string::npos)
        << log;
}

TEST_F(Server, KeptAliveConnectionsAnswerPipelinedRequestsInOrderAndHalfClosedOnesToo) {
    ServerProcess server(testing::kReleaseConfig, root.path().string());
    const std::string answer = exchangeRaw(
        server.port(), "GET " + sealedRequest("810") + " HTTP/1.1\r\nHost: h:1\r\n\r\n" +
                           "HEAD /releases/810/blob.dat HTTP/1.1\r\nHost: h\r\n\r\n" +
                           "GET /releases/810/%CB%B5%C3%F7.txt HTTP/1.1\r\nHost: h\r\nConnection: "
                           "close\r\n\r\n");
    const auto first = answer.find("HTTP/1.1 200 OK\r\n");
    const auto second = answer.find("HTTP/1.1 200 OK\r\n", first + 1);
    const auto third = answer.find("HTTP/1.1 200 OK\r\n", second + 1);
    ASSERT_NE(third, std::string::npos) << answer;
    EXPECT_NE(answer.find("Content-Length: 300000\r\n", second), std::string::npos);
    EXPECT_EQ(answer.substr(answer.size() - 8), "shuoming");
    std::string plaintext;
    const std::string firstBody =
        answer.substr(answer.find("\r\n\r\n") + 4, second - answer.find("\r\n\r\n") - 4);
    ASSERT_TRUE(openServerAnswer(builtInEnvelopeKeys(), firstBody, plaintext)) << answer;
    EXPECT_NE(plaintext.find("\"url\":\"http://h:1/releases/810\""), std::string::npos);

    const std::string halfClosed =
        exchangeRaw(server.port(), "GET /releases/810/%CB%B5%C3%F7.txt HTTP/1.1\r\nHost: h\r\n\r\n",
                    std::chrono::seconds(5), true);
    EXPECT_EQ(halfClosed.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << halfClosed;
    EXPECT_EQ(halfClosed.substr(halfClosed.size() - 8), "shuoming");
}

TEST_F(Server, SlowAndIdleClientsNeitherHoldNorStarveTheOthers) {
    ServerProcess server(testing::kReleaseConfig, root.path().string(),
                         {"--request-time", "1", "--max-connections", "8"});
    // A client that never finishes its head gets 408 after the request time.
    const int slow = connectTo(server.port());
    send(slow, "GET /releases/810/blob.dat HTTP/1.1\r\nX: ", 40, MSG_NOSIGNAL);
    const auto start = Clock::now();
    const std::string timedOut = receiveAll(slow, std::chrono::seconds(5));
    EXPECT_EQ(timedOut.rfind("HTTP/1.1 408 ", 0), 0u) << timedOut;
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(4));
    close(slow);

    // Eight connections that say nothing fill the limit: a newcomer is turned away at once,
    // and once they have waited a second one of them makes room for the next.
    std::vector<int> idle;
    for (int i = 0; i < 8; ++i) idle.push_back(connectTo(server.port()));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::string turnedAway = exchangeRaw(server.port(), "GET / HTTP/1.0\r\n\r\n");
    EXPECT_EQ(turnedAway.rfind("HTTP/1.1 503 ", 0), 0u) << turnedAway;
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    const std::string answered =
        exchangeRaw(server.port(), "GET " + sealedRequest("810") + " HTTP/1.0\r\nHost: h\r\n\r\n");
    EXPECT_EQ(answered.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << answered;
    for (int fd : idle) close(fd);
}

TEST_F(Server, TlsServesTheExchangeAndFilesAndAReloadTakesOnlyAGoodConfiguration) {
    fakes::TempDir tls;
    const std::string cert = (tls.path() / "cert.pem").string();
    const std::string key = (tls.path() / "key.pem").string();
    const std::string command =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "
        "/CN=127.0.0.1 -keyout " +
        key + " -out " + cert + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ServerProcess server(testing::kReleaseConfig, root.path().string(),
                         {"--tls-cert", cert, "--tls-key", key});
    ASSERT_EQ(server.base().rfind("https://", 0), 0u);

    fakes::FakeMachine machine;
    const DownloadPath endpoint{server.base(), {}, "", "/assist/server?reqtype=1&data="};
    std::string answer, plaintext;
    ASSERT_TRUE(sendServerRequest(machine.http, machine.kernel, builtInEnvelopeKeys(), endpoint,
                                  endpoint.path, "810", answer));
    ASSERT_TRUE(openServerAnswer(builtInEnvelopeKeys(), answer, plaintext));
    EXPECT_NE(plaintext.find("\"url\":\"" + server.base() + "/releases/810\""), std::string::npos)
        << plaintext;
    const fs::path target = tls.path() / "blob.dat";
    CurlTransport http([](const std::string& path) { return path; });
    EXPECT_EQ(http.downloadOnce(server.base() + "/releases/810/blob.dat", target.string(),
                                downloadSettings(), nullptr),
              0);
    EXPECT_EQ(fs::file_size(target), 300000u);

    ASSERT_TRUE(server.reload(R"({"banks": {"810": {"version": "1.0.0.6", "url": "https://d/810",
                                                  "update": "1"}}})"));
    ASSERT_TRUE(server.reload(R"({"banks": {"810": {"version": "1.0.6", "url": "https://d/810",
                                                  "update": "1"}}})"));
    ASSERT_TRUE(sendServerRequest(machine.http, machine.kernel, builtInEnvelopeKeys(), endpoint,
                                  endpoint.path, "810", answer));
    ASSERT_TRUE(openServerAnswer(builtInEnvelopeKeys(), answer, plaintext));
    EXPECT_EQ(plaintext, R"({"update":"1","url":"https://d/810","v":"1.0.0.6"})");
    EXPECT_NE(server.log().find("configuration kept; "), std::string::npos) << server.log();
}

TEST(ServerStart, EveryFaultEndsTheStartWithAReason) {
    fakes::TempDir work;
    const std::string dir = work.path().string();
    // The test key folder written with CR LF line ends, and one whose public exponent is not
    // the private half's.
    std::string keys = fakes::readHostFile(std::string(VAULTAIDE_TEST_KEY_DIR) + "/envelope.key");
    std::string crlf;
    for (char c : keys) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    fs::create_directories(dir + "/crlf");
    fakes::writeHostFile(dir + "/crlf/envelope.key", crlf);
    keys.replace(keys.find("\nE=010001"), 9, "\nE=03");
    fs::create_directories(dir + "/mismatched");
    fakes::writeHostFile(dir + "/mismatched/envelope.key", keys);
    fakes::writeHostFile(dir + "/good.json", testing::kReleaseConfig);
    fakes::writeHostFile(dir + "/array.json", "[1, 2]");
    fakes::writeHostFile(dir + "/none.json", R"({"banks": {}})");
    fakes::writeHostFile(dir + "/version.json", R"({"banks": {"810": {"version": "1.0.0",
                                                 "url": "http://d", "update": "1"}}})");
    fs::create_directories(dir + "/tree/releases/810");
    fakes::writeHostFile(dir + "/tree/releases/810/Digest_810.xml",
                         "<Digest Version=\"1.0.0.4\"><FileInfo/></Digest>");
    const std::string good = VAULTAIDE_TEST_KEY_DIR;
    const struct {
        std::vector<std::string> options;
        std::string message;
    } cases[] = {
        {{"--listen", "127.0.0.1:abc", "--keys", good, "--config", dir + "/good.json", "--root",
          dir},
         "--listen \"127.0.0.1:abc\": HOST:PORT"},
        {{"--listen", "127.0.0.1:0", "--keys", good, "--config", dir + "/array.json", "--root",
          dir},
         "the root must be an object"},
        {{"--listen", "127.0.0.1:0", "--keys", good, "--config", dir + "/none.json", "--root", dir},
         "no banks"},
        {{"--listen", "127.0.0.1:0", "--keys", good, "--config", dir + "/version.json", "--root",
          dir},
         "bank 810: \"version\" must be four dot-separated numbers"},
        {{"--listen", "127.0.0.1:0", "--keys", dir + "/mismatched", "--config", dir + "/good.json",
          "--root", dir},
         "the envelope key pair does not open what it seals"},
        {{"--listen", "127.0.0.1:0", "--keys", good, "--config", dir + "/good.json", "--root",
          dir + "/none"},
         "no folder"},
        {{"--listen", "127.0.0.1:0", "--keys", good, "--config", dir + "/good.json", "--root", dir,
          "--tls-cert", dir + "/none.pem", "--tls-key", dir + "/none.pem"},
         "cannot read the certificate chain"},
        {{"--listen", "127.0.0.1:0", "--keys", good, "--config", dir + "/good.json", "--root",
          dir + "/tree"},
         "bank 810 is configured with version 1.0.0.5 but {self}/releases/810/Digest_810.xml "
         "names 1.0.0.4"},
    };
    const std::vector<std::string> ordinary = {"--listen", "127.0.0.1:0",      "--keys", good,
                                               "--config", dir + "/good.json", "--root", dir};
    std::vector<std::string> many = ordinary;
    many.insert(many.end(), {"--max-connections", "1000"});
    const auto limited = runServerToEnd(many, 1024);
    EXPECT_EQ(limited.exitCode, 1);
    EXPECT_NE(limited.errors.find("--max-connections needs up to"), std::string::npos)
        << limited.errors;
    for (const auto& c : cases) {
        const auto run = runServerToEnd(c.options);
        EXPECT_EQ(run.exitCode, 1) << c.message;
        EXPECT_NE(run.errors.find(c.message), std::string::npos) << run.errors;
    }
    EXPECT_EQ(runServerToEnd({"--help"}).exitCode, 0);

    // CR LF line ends are read like LF ones: the server answers with the same pair. A key
    // every user can read is named at start.
    fs::permissions(dir + "/crlf/envelope.key", fs::perms::others_read, fs::perm_options::add);
    ServerProcess server(testing::kReleaseConfig, dir, {}, dir + "/crlf");
    const std::string answer =
        exchangeRaw(server.port(), "GET " + sealedRequest("810") + " HTTP/1.0\r\nHost: h\r\n\r\n");
    EXPECT_EQ(answer.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << answer;
    EXPECT_NE(server.log().find("warning: every user can read " + dir + "/crlf/envelope.key"),
              std::string::npos)
        << server.log();
    EXPECT_EQ(server.log().find("TEST-KEYS"), std::string::npos) << server.log();
}

}  // namespace
}  // namespace vaultaide
