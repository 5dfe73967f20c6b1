// vaultaide-server under clients that hold file transfers open: slow readers and clients that
// never read, the minimum transfer rate, the share of connections kept for version requests,
// SIGTERM in the middle of it all, and running out of file descriptors.
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "integration/raw_client.h"
#include "integration/server_process.h"

namespace vaultaide {
namespace {

using namespace testing;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uint64_t kBigFile = 1ull << 30;  // sparse: nothing to read from disk
const std::string kBigRequest = "GET /releases/810/big.dat HTTP/1.1\r\nHost: h\r\n\r\n";

class ServerLoad : public ::testing::Test {
protected:
    fakes::TempDir root;
    void SetUp() override {
        const fs::path folder = root.path() / "releases" / "810";
        fs::create_directories(folder);
        std::ofstream(folder / "big.dat").close();
        fs::resize_file(folder / "big.dat", kBigFile);
        fakes::writeHostFile((folder / "Digest.xml").string(), std::string(4000, 'd'));
    }
};

// Connections that asked for the big file, with a window of a few KiB.
std::vector<int> holdTransfers(int port, int count) {
    std::vector<int> held;
    for (int i = 0; i < count; ++i) {
        const int fd = connectTo(port, 4096);
        if (fd >= 0 && send(fd, kBigRequest.data(), kBigRequest.size(), MSG_NOSIGNAL) > 0)
            held.push_back(fd);
    }
    return held;
}

// status and time of one request on a new connection.
std::pair<std::string, Clock::duration> timed(int port, const std::string& request) {
    const auto start = Clock::now();
    const std::string answer = exchangeRaw(port, request, std::chrono::seconds(5));
    return {answer.substr(0, 12), Clock::now() - start};
}

std::vector<std::string> linesWith(const std::string& log, const std::string& text) {
    std::vector<std::string> found;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);)
        if (line.find(text) != std::string::npos) found.push_back(line);
    return found;
}

TEST_F(ServerLoad, HeldTransfersNeitherDelayOtherClientsNorTheStopAndAreLoggedAsCutShort) {
    ServerProcess server(kReleaseConfig, root.path().string(), {"--max-connections", "400"});
    // 250 clients that never read and 50 that read 4 KiB every 50 ms.
    std::vector<int> stalled = holdTransfers(server.port(), 250);
    const std::vector<int> slow = holdTransfers(server.port(), 50);
    ASSERT_EQ(stalled.size() + slow.size(), 300u);
    std::atomic<bool> reading{true};
    std::thread reader([&] {
        char chunk[4096];
        for (int round = 0; round < 400 && reading; ++round) {
            for (int fd : slow) recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    const std::string version =
        "GET " + sealedRequest("810") + " HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n";
    for (int round = 0; round < 5; ++round) {
        for (const std::string& request :
             {std::string("GET /releases/810/Digest.xml HTTP/1.0\r\n\r\n"), version}) {
            const auto [status, took] = timed(server.port(), request);
            EXPECT_EQ(status, "HTTP/1.1 200") << request.substr(0, 40);
            EXPECT_LT(took, std::chrono::seconds(2)) << request.substr(0, 40);
        }
    }
    // Transfers may take all but an eighth of the connections; version requests the rest.
    const std::vector<int> more = holdTransfers(server.port(), 50);
    stalled.insert(stalled.end(), more.begin(), more.end());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(timed(server.port(), kBigRequest).first, "HTTP/1.1 503");
    EXPECT_EQ(timed(server.port(), version).first, "HTTP/1.1 200");

    const auto stopping = Clock::now();
    EXPECT_EQ(server.stop(), 0);
    EXPECT_LT(Clock::now() - stopping, std::chrono::seconds(2));
    reading = false;
    reader.join();
    for (int fd : stalled) close(fd);
    for (int fd : slow) close(fd);

    const std::string log = server.log();
    const auto cut = linesWith(log, "/big.dat HTTP/1.1 200 ");
    EXPECT_EQ(cut.size(), 350u) << log.substr(0, 2000);
    size_t read = 0;
    for (const std::string& line : cut) {
        EXPECT_NE(line.find(" transfer cut short: server stopping"), std::string::npos) << line;
        const auto bytes = std::stoull(line.substr(line.find(" 200 ") + 5));
        EXPECT_LT(bytes, kBigFile) << line;
        read += bytes > 20000;
    }
    EXPECT_GE(read, 50u);  // the slow readers got what they read, no more
    EXPECT_EQ(linesWith(log, "503 0 file transfer limit reached").size(), 1u);
}

TEST_F(ServerLoad, ATransferBelowTheMinimumRateIsCutAfterTheRequestTimeAndASlowOneIsNot) {
    ServerProcess server(kReleaseConfig, root.path().string(), {"--request-time", "1"});
    const std::vector<int> held = holdTransfers(server.port(), 2);
    ASSERT_EQ(held.size(), 2u);
    // The second reads 2 KiB every 100 ms, far less than the kernel took at once.
    std::atomic<bool> reading{true};
    std::thread reader([&] {
        char chunk[2048];
        for (int i = 0; i < 100 && reading; ++i) {
            recv(held[1], chunk, sizeof chunk, MSG_DONTWAIT);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    for (int i = 0; i < 40 && linesWith(server.log(), "big.dat").empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    bool closed = false;
    const std::string got = receiveAll(held[0], std::chrono::seconds(2), &closed);
    EXPECT_TRUE(closed);
    EXPECT_LT(got.size(), kBigFile);
    server.stop();
    reading = false;
    reader.join();
    for (int fd : held) close(fd);
    EXPECT_EQ(linesWith(server.log(), "transfer cut short: below 1024 bytes/s for 1 s").size(), 1u)
        << server.log();
    EXPECT_EQ(linesWith(server.log(), "transfer cut short: server stopping").size(), 1u)
        << server.log();
}

// The server's user and system CPU time so far, in clock ticks.
long cpuTicks(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    long ticks = 0;
    for (int i = 1; i <= 15 && stat >> field; ++i)
        if (i >= 14) ticks += std::stol(field);
    return ticks;
}

TEST_F(ServerLoad, OutOfFileDescriptorsPausesAcceptingInsteadOfSpinning) {
    ServerProcess server(kReleaseConfig, root.path().string(), {"--max-connections", "64"});
    const auto open =
        std::distance(fs::directory_iterator("/proc/" + std::to_string(server.pid()) + "/fd"),
                      fs::directory_iterator());
    rlimit old{}, few{static_cast<rlim_t>(open + 2), 0};
    ASSERT_EQ(prlimit(server.pid(), RLIMIT_NOFILE, nullptr, &old), 0);
    few.rlim_max = old.rlim_max;
    ASSERT_EQ(prlimit(server.pid(), RLIMIT_NOFILE, &few, nullptr), 0);
    std::vector<int> waiting;
    for (int i = 0; i < 12; ++i) waiting.push_back(connectTo(server.port()));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const long before = cpuTicks(server.pid());
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_LT(cpuTicks(server.pid()) - before, sysconf(_SC_CLK_TCK) / 4);

    for (int fd : waiting) close(fd);
    ASSERT_EQ(prlimit(server.pid(), RLIMIT_NOFILE, &old, nullptr), 0);
    const std::string answer =
        exchangeRaw(server.port(), "GET " + sealedRequest("810") + " HTTP/1.0\r\nHost: h\r\n\r\n");
    EXPECT_EQ(answer.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << answer;
    server.stop();
    EXPECT_EQ(linesWith(server.log(), "out of file descriptors: accepting paused").size() > 0, true)
        << server.log();
}

}  // namespace
}  // namespace vaultaide
