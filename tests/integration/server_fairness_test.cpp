// vaultaide-server against clients that try to hurt their neighbours or the server's own
// promises: unclean TLS closes, dripped heads, pipelined bytes at a close, files that change
// under a transfer, and the stop with clients that say nothing; over 127.0.0.1.
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>
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
#include "platform/native/curl_transport.h"
#include "protocol/http_settings.h"

namespace vaultaide {
namespace {

using namespace testing;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uint64_t kLarge = 16u << 20;

class Fairness : public ::testing::Test {
protected:
    fakes::TempDir root;
    fs::path folder;
    void SetUp() override {
        folder = root.path() / "releases" / "810";
        fs::create_directories(folder);
        std::string large(kLarge, '\0');
        for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>('a' + i % 26);
        fakes::writeHostFile((folder / "large.dat").string(), large);
    }
};

size_t count(const std::string& text, const std::string& part) {
    size_t found = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
    return found;
}

// The user and system CPU time of a process so far, in clock ticks.
long cpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14) ticks += std::stol(field);
    return ticks;
}

// Reads until at least bytes have come, the connection ends or 10 s pass.
std::string receiveSome(int fd, size_t bytes) {
    std::string got;
    char chunk[65536];
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (got.size() < bytes && Clock::now() < deadline) {
        pollfd item{fd, POLLIN, 0};
        if (poll(&item, 1, 100) <= 0) continue;
        const ssize_t n = recv(fd, chunk, std::min(sizeof chunk, bytes - got.size()), 0);
        if (n <= 0) break;
        got.append(chunk, static_cast<size_t>(n));
    }
    return got;
}

void makeCertificate(const fs::path& dir, const std::string& name) {
    const std::string command =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=" + name + " -keyout " +
        (dir / "key.pem").string() + " -out " + (dir / "cert.pem").string() + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
}

// A TLS session with the server, or null; the subject of the certificate it showed.
SSL* tlsConnect(SSL_CTX* ctx, int port, std::string* subject = nullptr) {
    const int fd = connectTo(port);
    SSL* ssl = SSL_new(ctx);
    SSL_set_fd(ssl, fd);
    if (SSL_connect(ssl) != 1) {
        SSL_free(ssl);
        close(fd);
        ERR_clear_error();
        return nullptr;
    }
    if (subject) {
        X509* certificate = SSL_get1_peer_certificate(ssl);
        char text[256] = "";
        X509_NAME_oneline(X509_get_subject_name(certificate), text, sizeof text);
        X509_free(certificate);
        *subject = text;
    }
    return ssl;
}

TEST_F(Fairness, UncleanTlsClosesCutNoOtherTransferAndTheCertificateIsRenewedOnSighup) {
    fakes::TempDir tls;
    makeCertificate(tls.path(), "first");
    ServerProcess server(kReleaseConfig, root.path().string(),
                         {"--tls-cert", (tls.path() / "cert.pem").string(), "--tls-key",
                          (tls.path() / "key.pem").string()});
    std::atomic<int> running{4}, whole{0};
    std::vector<std::thread> downloads;
    for (int i = 0; i < 4; ++i)
        downloads.emplace_back([&, i] {
            const fs::path target = tls.path() / ("got" + std::to_string(i));
            CurlTransport http([](const std::string& path) { return path; });
            if (http.downloadOnce(server.base() + "/releases/810/large.dat", target.string(),
                                  downloadSettings(), nullptr) == 0 &&
                fs::file_size(target) == kLarge)
                ++whole;
            --running;
        });
    // Meanwhile clients finish handshakes and leave with a bare FIN, and others speak plain
    // HTTP to the TLS port.
    SSL_CTX* client = SSL_CTX_new(TLS_client_method());
    // No tickets after the handshake: the close is a bare FIN rather than a reset.
    SSL_CTX_set_max_proto_version(client, TLS1_2_VERSION);
    for (int round = 0; round < 3000 && running > 0; ++round) {
        if (round % 8 == 0) {
            exchangeRaw(server.port(), "GET / HTTP/1.0\r\n\r\n", std::chrono::seconds(1));
            continue;
        }
        if (SSL* ssl = tlsConnect(client, server.port())) {
            close(SSL_get_fd(ssl));
            SSL_free(ssl);
        }
    }
    for (auto& download : downloads) download.join();
    EXPECT_EQ(whole, 4);
    std::string log = server.log();
    EXPECT_EQ(count(log, "client gone"), 0u) << log;
    // One line a second at most for the same client address.
    EXPECT_GE(count(log, "TLS handshake failed"), 1u) << log;
    EXPECT_LE(count(log, "TLS handshake failed"), 30u);

    // SIGHUP: a renewed pair is taken, a broken one leaves the pair in use, and a configuration
    // whose version the served manifests contradict is kept out.
    makeCertificate(tls.path(), "renewed");
    fakes::writeHostFile((folder / "Digest.xml").string(),
                         "<Digest Version=\"1.0.0.5\" BankID=\"810\"><FileInfo/></Digest>");
    ASSERT_TRUE(server.reload(kReleaseConfig));
    fakes::writeHostFile((tls.path() / "key.pem").string(), "broken");
    std::string contradicting = kReleaseConfig;
    contradicting.replace(contradicting.find("1.0.0.5"), 7, "1.0.0.6");
    ASSERT_TRUE(server.reload(contradicting));
    std::string subject;
    SSL* ssl = tlsConnect(client, server.port(), &subject);
    ASSERT_NE(ssl, nullptr);
    EXPECT_EQ(subject, "/CN=renewed");
    SSL_shutdown(ssl);
    close(SSL_get_fd(ssl));
    SSL_free(ssl);
    SSL_CTX_free(client);
    server.stop();
    log = server.log();
    EXPECT_NE(log.find("TLS certificate and key read again"), std::string::npos) << log;
    EXPECT_NE(log.find("TLS certificate and key kept; cannot read the private key"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("configuration kept; bank 810 is configured with version 1.0.0.6 but "
                       "{self}/releases/810/Digest.xml names 1.0.0.5"),
              std::string::npos)
        << log;
    // Every line, the server's own included, starts with its time.
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) EXPECT_EQ(line.rfind("20", 0), 0u) << line;
}

TEST_F(Fairness, DrippedHeadsCostAboutWhatOrdinaryBytesCost) {
    ServerProcess server(kReleaseConfig, root.path().string());
    // Four connections send 12,000 bytes of a head one by one, so each read takes one byte.
    auto drip = [&](char byte) {
        std::vector<int> fds;
        for (int i = 0; i < 4; ++i) fds.push_back(connectTo(server.port()));
        const long before = cpuTicks(server.pid());
        for (int n = 0; n < 12000; ++n) {
            for (int fd : fds) send(fd, &byte, 1, MSG_NOSIGNAL);
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        const long used = cpuTicks(server.pid()) - before;
        for (int fd : fds) close(fd);
        return used;
    };
    const long ordinary = drip('x');
    const long carriageReturns = drip('\r');
    EXPECT_LE(carriageReturns, 2 * ordinary + sysconf(_SC_CLK_TCK) / 5)
        << ordinary << " ticks for ordinary bytes";
}

TEST_F(Fairness, AClosingConnectionDeliversItsLastAnswerWholeDespiteUnreadRequests) {
    ServerProcess server(kReleaseConfig, root.path().string());
    // The 1000th request ends the connection; one more is sent while its answer is under way
    // and waits unread.
    std::string requests;
    const std::string small = "HEAD /releases/810/large.dat HTTP/1.1\r\nHost: h\r\n\r\n";
    for (int i = 0; i < 999; ++i) requests += small;
    requests += "GET /releases/810/large.dat HTTP/1.1\r\nHost: h\r\n\r\n";
    const int fd = connectTo(server.port());
    std::thread sender([&] { send(fd, requests.data(), requests.size(), MSG_NOSIGNAL); });
    std::string answers = receiveSome(fd, 1u << 20);
    sender.join();
    send(fd, small.data(), small.size(), MSG_NOSIGNAL);
    bool closed = false;
    answers += receiveAll(fd, std::chrono::seconds(20), &closed);
    close(fd);
    EXPECT_TRUE(closed);
    EXPECT_EQ(count(answers, "HTTP/1.1 200 OK\r\n"), 1000u);
    const auto last = answers.rfind("\r\n\r\n");
    ASSERT_NE(last, std::string::npos);
    EXPECT_EQ(answers.size() - last - 4, kLarge);
    server.stop();
    EXPECT_NE(server.log().find("HTTP/1.1 200 16777216\n"), std::string::npos);
}

TEST_F(Fairness, AFileThatShrinksUnderATransferIsLoggedAsChanged) {
    ServerProcess server(kReleaseConfig, root.path().string());
    const int fd = connectTo(server.port(), 4096);
    const std::string request = "GET /releases/810/large.dat HTTP/1.0\r\n\r\n";
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string got = receiveSome(fd, 65536);
    fs::resize_file(folder / "large.dat", 1 << 20);
    bool closed = false;
    got += receiveAll(fd, std::chrono::seconds(10), &closed);
    close(fd);
    EXPECT_TRUE(closed);
    EXPECT_LT(got.size(), kLarge);
    server.stop();
    const std::string log = server.log();
    EXPECT_NE(log.find(" transfer cut short: file changed\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("client gone"), std::string::npos) << log;
}

TEST_F(Fairness, AtTheLimitTheConnectionWaitingLongestOnAnyThreadMakesRoom) {
    ServerProcess server(kReleaseConfig, root.path().string(), {"--max-connections", "6"});
    const int oldest = connectTo(server.port());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::vector<int> newer;
    for (int i = 0; i < 5; ++i) newer.push_back(connectTo(server.port()));
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    send(oldest, "G", 1, MSG_NOSIGNAL);  // a byte does not make it a newcomer
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::string answered =
        exchangeRaw(server.port(), "GET " + sealedRequest("810") + " HTTP/1.0\r\nHost: h\r\n\r\n");
    EXPECT_EQ(answered.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << answered;
    bool closed = false;
    receiveAll(oldest, std::chrono::seconds(2), &closed);
    EXPECT_TRUE(closed);
    for (int fd : newer) {
        pollfd item{fd, POLLIN, 0};
        EXPECT_EQ(poll(&item, 1, 0), 0);
        close(fd);
    }
    close(oldest);
}

TEST_F(Fairness, SigtermEndsWithinTwoSecondsWhateverClientsOfEitherListenerDo) {
    ServerProcess server(kReleaseConfig, root.path().string(), {"--metrics-listen", "127.0.0.1:0"});
    // Silent clients on both listeners, and one that holds a transfer without reading.
    const int silentMetrics = connectTo(server.metricsPort());
    const int silent = connectTo(server.port());
    const int stalled = connectTo(server.port(), 4096);
    const std::string request = "GET /releases/810/large.dat HTTP/1.0\r\n\r\n";
    send(stalled, request.data(), request.size(), MSG_NOSIGNAL);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const int metricsPort = server.metricsPort();
    int lateMetrics = -1;
    std::thread late([&] {
        // Connects while the server drains, and says nothing either.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        lateMetrics = connectTo(metricsPort);
    });
    const auto start = Clock::now();
    EXPECT_EQ(server.stop(), 0);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    late.join();
    for (int fd : {silentMetrics, silent, stalled, lateMetrics}) close(fd);
}

}  // namespace
}  // namespace vaultaide
