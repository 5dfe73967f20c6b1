// vaultaide-server as operators watch it: its counters read back through Debian's prometheus,
// /healthz while it stops, and nginx passing a steady stream over a killed instance.
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "integration/nginx_deployment.h"
#include "integration/prometheus_process.h"
#include "integration/raw_client.h"
#include "integration/server_process.h"
#include "protocol/built_in_keys.h"
#include "protocol/envelope.h"

namespace vaultaide {
namespace {

using testing::getHttp;
using testing::HttpReply;
using testing::PrometheusProcess;
using testing::ServerProcess;
namespace fs = std::filesystem;

const char* kConfig =
    R"({"banks": {"810": {"version": "1.0.0.5", "url": "{self}/releases/810", "update": "2"},
                  "3a": {"version": "2.0.0.1", "url": "https://dl.example/3a", "update": "0"}}})";

// The value of one series in an exposition, or -1.
double valueIn(const std::string& exposition, const std::string& series) {
    const auto at = exposition.find("\n" + series + " ");
    return at == std::string::npos ? -1 : std::atof(exposition.c_str() + at + series.size() + 2);
}

TEST(ServerMetrics, PrometheusReadsBackWhatAKnownMixOfRequestsCounted) {
    fakes::TempDir root;
    fs::create_directories(root.path() / "releases/810");
    fakes::writeHostFile((root.path() / "releases/810/skin.dat").string(),
                         std::string(100000, 's'));
    ServerProcess server(kConfig, root.path().string(), {"--metrics-listen", "127.0.0.1:0"});
    ASSERT_GT(server.metricsPort(), 0);
    ASSERT_NE(server.metricsPort(), server.port());
    PrometheusProcess prometheus({"127.0.0.1:" + std::to_string(server.metricsPort())});
    ASSERT_TRUE(prometheus.waitForScrapeAfter(testing::secondsSinceEpoch()));
    const char* everything = R"({__name__=~"vaultaide_.+|process_.+"})";
    const auto before = prometheus.query(everything);

    const int port = server.port();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(getHttp(port, testing::sealedRequest("810")).status, 200);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(getHttp(port, testing::sealedRequest("abc")).status, 404);
    EXPECT_EQ(getHttp(port, "/assist/server?reqtype=1&data=00FF").status, 400);
    EXPECT_EQ(getHttp(port, "/releases/810/skin.dat").body.size(), 100000u);
    for (const char* method : {"POST", "DELETE"})
        EXPECT_EQ(testing::exchangeHttp(
                      port, std::string(method) + " /releases/810/skin.dat HTTP/1.0\r\n\r\n")
                      .status,
                  405);
    EXPECT_EQ(testing::exchangeHttp(
                  port, "GET /releases/810/skin.dat HTTP/1.0\r\nRange: bytes=0-1,5-9\r\n\r\n")
                  .status,
              416);

    // A scrape that began a little after the last answer counts all of them.
    ASSERT_TRUE(prometheus.waitForScrapeAfter(testing::secondsSinceEpoch() + 0.1));
    const auto after = prometheus.query(everything);
    const std::map<std::string, double> moved = {
        {"vaultaide_version_requests_total{bank=810,result=answered}", 3},
        {"vaultaide_version_requests_total{bank=3a,result=answered}", 0},
        {"vaultaide_version_requests_total{bank=other,result=unknown_bank}", 2},
        {"vaultaide_version_requests_total{result=bad_envelope}", 1},
        {"vaultaide_version_answer_seconds_count", 6},
        {"vaultaide_version_answer_seconds_bucket{le=+Inf}", 6},
        {"vaultaide_responses_total{code=200}", 4},
        {"vaultaide_responses_total{code=400}", 1},
        {"vaultaide_responses_total{code=404}", 2},
        {"vaultaide_responses_total{code=405}", 2},
        {"vaultaide_responses_total{code=416}", 1},
        {"vaultaide_refusals_total{reason=method}", 2},
        {"vaultaide_refusals_total{reason=ranges}", 1},
        {"vaultaide_file_bytes_sent_total", 100000},
        {"vaultaide_file_transfers_cut_total", 0},
        {"vaultaide_connections_accepted_total", 10},
    };
    for (const auto& [series, by] : moved) {
        ASSERT_TRUE(after.count(series) && before.count(series)) << series;
        EXPECT_EQ(after.at(series) - before.at(series), by) << series;
    }
    // No other counter moved, and the unknown bank's code is no label.
    for (const auto& [series, value] : after) {
        EXPECT_EQ(series.find("abc"), std::string::npos) << series;
        const bool counter =
            series.find("_total") != std::string::npos && series.rfind("process_", 0) != 0;
        if (counter && !moved.count(series)) {
            EXPECT_EQ(value, before.count(series) ? before.at(series) : 0) << series;
        }
    }
    EXPECT_GT(after.at("vaultaide_version_answer_seconds_sum"),
              before.at("vaultaide_version_answer_seconds_sum"));
    const double now = testing::secondsSinceEpoch();
    EXPECT_NEAR(after.at("process_start_time_seconds"), now, 120);
    EXPECT_GT(after.at("process_open_fds"), 5);
    EXPECT_GT(after.at("process_resident_memory_bytes"), 1e6);
    EXPECT_EQ(after.at("vaultaide_release_info{bank=810,update=2,version=1.0.0.5}"), 1);

    // A good reload and a faulty one.
    ASSERT_TRUE(server.reload(
        R"({"banks": {"810": {"version": "1.0.0.6", "url": "{self}/r", "update": "1"}}})"));
    ASSERT_TRUE(server.reload("{"));
    ASSERT_TRUE(prometheus.waitForScrapeAfter(testing::secondsSinceEpoch() + 0.1));
    const auto reloaded = prometheus.query(R"({__name__=~"vaultaide_(config|release).*"})");
    EXPECT_EQ(reloaded.at("vaultaide_config_reloads_total{result=ok}"), 1);
    EXPECT_EQ(reloaded.at("vaultaide_config_reloads_total{result=failed}"), 1);
    EXPECT_EQ(reloaded.at("vaultaide_release_info{bank=810,update=1,version=1.0.0.6}"), 1);
    EXPECT_EQ(reloaded.count("vaultaide_release_info{bank=810,update=2,version=1.0.0.5}"), 0u);
    EXPECT_NEAR(reloaded.at("vaultaide_config_loaded_timestamp_seconds"), now, 30);

    // The exposition passes Prometheus's own checker.
    fakes::TempDir scratch;
    const std::string exposition = getHttp(server.metricsPort(), "/metrics").body;
    const std::string file = (scratch.path() / "metrics").string();
    fakes::writeHostFile(file, exposition);
    const std::string command = "promtool check metrics <" + file + " >" + file + ".out 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << fakes::readHostFile(file + ".out");
}

TEST(ServerHealth, TurnsUnhealthyOnSigtermWhileTransfersDrainAndNginxPassesOverAKilledServer) {
    fakes::TempDir root;
    testing::publishDeploymentRelease(root.path().string());
    fakes::writeHostFile((root.path() / "releases/810/big.dat").string(),
                         std::string(32 << 20, 'b'));
    {
        // Room for one connection: the download below takes it.
        ServerProcess server(kConfig, root.path().string(),
                             {"--metrics-listen", "127.0.0.1:0", "--max-connections", "1"});
        const int metrics = server.metricsPort();
        const HttpReply healthy = getHttp(metrics, "/healthz");
        EXPECT_EQ(healthy.status, 200);
        EXPECT_EQ(healthy.body, "ok\n");
        // A download the client stops reading.
        const int client = testing::connectTo(server.port());
        ASSERT_GE(client, 0);
        const std::string request = "GET /releases/810/big.dat HTTP/1.1\r\nHost: a\r\n\r\n";
        ASSERT_GT(send(client, request.data(), request.size(), MSG_NOSIGNAL), 0);
        char first[4096];
        ASSERT_GT(recv(client, first, sizeof first, 0), 0);

        // A newcomer is turned away, and the health check says so.
        const int newcomer = testing::connectTo(server.port());
        EXPECT_EQ(testing::receiveAll(newcomer, std::chrono::seconds(5)).substr(0, 12),
                  "HTTP/1.1 503");
        close(newcomer);
        const HttpReply full = getHttp(metrics, "/healthz");
        EXPECT_EQ(full.status, 503);
        EXPECT_EQ(full.body, "connection limit reached\n");
        const std::string counted = getHttp(metrics, "/metrics").body;
        EXPECT_EQ(valueIn(counted, R"(vaultaide_refusals_total{reason="connection_limit"})"), 1);
        EXPECT_EQ(valueIn(counted, R"(vaultaide_responses_total{code="503"})"), 1);
        EXPECT_EQ(valueIn(counted, "vaultaide_connections_accepted_total"), 2);

        kill(server.pid(), SIGTERM);
        HttpReply draining;
        for (int i = 0; i < 100 && draining.body != "stopping\n"; ++i) {
            draining = getHttp(metrics, "/healthz");
            if (draining.body != "stopping\n")
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(draining.status, 503);
        EXPECT_EQ(draining.body, "stopping\n");
        EXPECT_EQ(kill(server.pid(), 0), 0) << "the server ended before the transfer did";
        EXPECT_GE(valueIn(getHttp(metrics, "/metrics").body, "vaultaide_connections_open"), 1);
        EXPECT_EQ(server.stop(), 0);
        close(client);
    }

    testing::NginxDeployment front(kConfig, root.path().string());
    const int frontPort = std::atoi(front.httpBase().c_str() + front.httpBase().rfind(':') + 1);
    constexpr int kRequests = 240;
    std::atomic<int> next{0}, failures{0};
    const std::string target = testing::sealedRequest("810");
    auto stream = [&] {
        while (next++ < kRequests) {
            const HttpReply reply = getHttp(frontPort, target);
            std::string plaintext;
            if (reply.status != 200 ||
                !openServerAnswer(builtInEnvelopeKeys(), reply.body, plaintext) ||
                plaintext.find("1.0.0.5") == std::string::npos)
                ++failures;
        }
    };
    std::thread first(stream), second(stream);
    for (int i = 0; i < 2000 && next < kRequests / 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const int startedBeforeKill = next;
    ASSERT_EQ(kill(front.serverPid(1), SIGKILL), 0);
    first.join();
    second.join();
    EXPECT_EQ(failures, 0);

    // Each request is in nginx's log with the servers it went to, the last one answering.
    const std::string survivor = "127.0.0.1:" + std::to_string(front.serverPort(2));
    int logged = 0, bySurvivor = 0, passedOn = 0;
    std::istringstream lines(front.accessLog());
    for (std::string line; std::getline(lines, line);) {
        if (line.find("/assist/server") == std::string::npos) continue;
        ++logged;
        EXPECT_NE(line.find("\" 200 "), std::string::npos) << line;
        // "upstream=A, B upstream_status=502, 200": B answered.
        const auto from = line.find("upstream=") + 9;
        const std::string upstreams = line.substr(from, line.find(" upstream_status") - from);
        const auto comma = upstreams.rfind(", ");
        bySurvivor += upstreams.substr(comma == std::string::npos ? 0 : comma + 2) == survivor;
        passedOn += comma != std::string::npos;
    }
    EXPECT_EQ(logged, kRequests);
    EXPECT_GE(passedOn, 1) << "no request went on from the killed server";
    EXPECT_GE(bySurvivor, kRequests - startedBeforeKill);
    const std::string counted = getHttp(front.serverMetricsPort(2), "/metrics").body;
    EXPECT_EQ(valueIn(counted, R"(vaultaide_version_requests_total{bank="810",result="answered"})"),
              bySurvivor);
    EXPECT_EQ(valueIn(counted, R"(vaultaide_responses_total{code="200"})"), bySurvivor);
}

}  // namespace
}  // namespace vaultaide
