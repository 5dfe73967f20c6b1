// The Windows build's WinInet downloads and the package step under Wine, against
// vaultaide-server and scripted servers on 127.0.0.1.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "integration/raw_http_server.h"
#include "integration/server_process.h"
#include "publish/manifest_writer.h"
#include "wine/wine_bench.h"

namespace vaultaide::wine {
namespace {

namespace fs = std::filesystem;
using testing::RawHttpServer;
using testing::ServerProcess;

class WineDownloads : public ::testing::Test {
protected:
    fakes::TempDir work;
    fs::path target() const { return work.path() / "file.bin"; }
    // Runs the helper; its output with Windows line ends made plain.
    WineRun driver(const std::vector<std::string>& arguments) {
        WineRun run = runProgram(windowsProgram("wadriver.exe"), arguments, work.path().string());
        run.output.erase(std::remove(run.output.begin(), run.output.end(), '\r'), run.output.end());
        return run;
    }
    WineRun download(const std::string& url) {
        return driver({"download", url, windowsPathOf(target())});
    }
};

TEST_F(WineDownloads, ServerExchangeResults) {
    // A silent server ends the exchange after the three-second time-out. Wine's WinInet reports
    // the expired receive as an invalid answer rather than as a time-out, so the result is a
    // failure (1) there and a time-out (2) on Windows; callers treat both alike.
    RawHttpServer silent("");
    const auto start = std::chrono::steady_clock::now();
    WineRun run = driver({"http-get", silent.base() + "/x"});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_TRUE(run.output.find("result 2\n(unchanged)") != std::string::npos ||
                run.output.find("result 1\n(unchanged)") != std::string::npos)
        << run.output;
    run = driver({"http-get", "ftp://127.0.0.1/x"});
    EXPECT_NE(run.output.find("result 1\n(unchanged)"), std::string::npos) << run.output;
    RawHttpServer page(RawHttpServer::response(404, "<p>missing</p>"));
    run = driver({"http-get", page.base() + "/x"});
    EXPECT_NE(run.output.find("result 0\n<p>missing</p>"), std::string::npos) << run.output;
}

TEST_F(WineDownloads, CompleteFileWithProgressFromTheUpdateServer) {
    fakes::TempDir root;
    std::string body;
    for (int i = 0; i < 10000; ++i) body += static_cast<char>(i % 251);
    writeHostFile((root.path() / "blob.dat").string(), body);
    ServerProcess server(testing::kReleaseConfig, root.path().string());
    const WineRun run = download(server.base() + "/blob.dat");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(readHostFile(target().string()), body);
    EXPECT_NE(run.output.find("bar 1021 range32 0 10000\nbar 1021 pos 10000 0\ntext 1023 100.00%"),
              std::string::npos)
        << run.output;
    EXPECT_FALSE(fs::exists(target().string() + ".partial"));
}

TEST_F(WineDownloads, ShortBodiesFailAndKeepTheOlderFile) {
    RawHttpServer server(RawHttpServer::response(200, std::string(100, 's'), true, 200));
    writeHostFile(target().string(), "older");
    const WineRun run = download(server.base() + "/f");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_EQ(server.requests().size(), 5u);
    EXPECT_EQ(readHostFile(target().string()), "older");
    EXPECT_FALSE(fs::exists(target().string() + ".partial"));
}

TEST_F(WineDownloads, NotFoundKeepsAnOlderFileAndFailsWithoutOne) {
    RawHttpServer server(RawHttpServer::response(404, "gone"));
    EXPECT_EQ(download(server.base() + "/f").exitCode, 1);
    EXPECT_EQ(server.requests().size(), 5u);
    writeHostFile(target().string(), "older");
    EXPECT_EQ(download(server.base() + "/f").exitCode, 0);
    EXPECT_EQ(server.requests().size(), 6u);
    EXPECT_EQ(readHostFile(target().string()), "older");
}

TEST_F(WineDownloads, FirstInstallationOfAPublishedRelease) {
    fakes::TempDir source, root;
    fs::create_directories(source.path() / "common" / "Data");
    fs::create_directories(source.path() / "bank");
    writeHostFile((source.path() / "common" / "readme.txt").string(), "read me");
    writeHostFile((source.path() / "common" / "Data" / "skin.dat").string(),
                  std::string(20000, 'k'));
    writeHostFile((source.path() / "common" / "Data" / u8"说明.txt").string(), "shuoming");
    writeHostFile((source.path() / "bank" / "Nexio_810.exe").string(), "main program");
    std::string error;
    ASSERT_TRUE(tools::publishRelease(
        (source.path() / "common").string(), (source.path() / "bank").string(), 0x810,
        VAULTAIDE_TEST_KEY_DIR, (root.path() / "releases" / "810").string(), error))
        << error;
    ServerProcess server(testing::kReleaseConfig, root.path().string());
    const fs::path install = work.path() / "Assist";
    fs::create_directories(install);
    const WineRun run =
        driver({"packages", server.base() + "/releases/810", windowsPathOf(install), "0"});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("text 1020 正在下载 readme.txt   1/4"), std::string::npos);
    EXPECT_NE(run.output.find("text 1024 100.00%"), std::string::npos);
    EXPECT_EQ(readHostFile((install / "Data" / "skin.dat").string()), std::string(20000, 'k'));
    EXPECT_EQ(readHostFile((install / "Nexio_810.exe").string()), "main program");
    // Asked for by its GBK bytes, served from the GBK name the publisher gave it.
    EXPECT_EQ(readHostFile((install / "Data" / u8"说明.txt").string()), "shuoming");
    EXPECT_EQ(readHostFile((install / "Digest_810.xml").string()),
              readHostFile((root.path() / "releases" / "810" / "Digest_810.xml").string()));

    // The same run against a release whose file was replaced after signing.
    writeHostFile((root.path() / "releases" / "810" / "readme.txt").string(), "foreign");
    fs::remove_all(install);
    fs::create_directories(install);
    const WineRun tampered =
        driver({"packages", server.base() + "/releases/810", windowsPathOf(install), "0"});
    EXPECT_EQ(tampered.exitCode, 1);
    EXPECT_NE(tampered.output.find("text 1020 下载readme.txt 失败"), std::string::npos)
        << tampered.output;
    EXPECT_FALSE(fs::exists(install / "readme.txt"));
}

}  // namespace
}  // namespace vaultaide::wine
