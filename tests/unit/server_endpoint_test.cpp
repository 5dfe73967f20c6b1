#include "protocol/server_endpoint.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"

namespace vaultaide {
namespace {

using fakes::FakeMachine;

DownloadPath profileDefaults() {
    DownloadPath endpoint;
    endpoint.ip = "https://assist.example";
    return endpoint;
}

TEST(ServerEndpoint, MissingFileGivesDefaultPathAndEmptyPort) {
    FakeMachine machine;
    DownloadPath endpoint = profileDefaults();
    endpoint.port = ":1";
    EXPECT_TRUE(loadServerEndpoint(machine.files, endpoint));
    EXPECT_EQ(endpoint.path, "/assist/server?reqtype=1&data=");
    EXPECT_EQ(endpoint.path.size(), 30u);
    EXPECT_EQ(endpoint.port, "");
    EXPECT_EQ(endpoint.ip, "https://assist.example");
}

TEST(ServerEndpoint, ThreeLinesOverrideInLfOrCrLfAndWithoutFinalLineFeed) {
    for (const std::string content :
         {"http://127.0.0.1\n:8080\n/q?data=\n", "http://127.0.0.1\r\n:8080\r\n/q?data=\r\n",
          "http://127.0.0.1\n:8080\n/q?data=",
          "http://127.0.0.1\n:8080\n/q?data=\nignored\nlines\n"}) {
        FakeMachine machine;
        machine.writeFile("C:\\work\\serverip.dat", content);
        DownloadPath endpoint = profileDefaults();
        endpoint.ipList = {"https://a", "https://b"};
        EXPECT_TRUE(loadServerEndpoint(machine.files, endpoint));
        EXPECT_EQ(endpoint.ip, "http://127.0.0.1");
        EXPECT_EQ(endpoint.port, ":8080");
        EXPECT_EQ(endpoint.path, "/q?data=");
        EXPECT_EQ(endpoint.ipList.size(), 2u);
    }
}

TEST(ServerEndpoint, EmptyLinesAreValuesAndOnlyLineFeedPairsLoseTheirCarriageReturn) {
    FakeMachine machine;
    machine.writeFile("C:\\work\\serverip.dat", " http://h \n\n/p\r?\r\n");
    DownloadPath endpoint = profileDefaults();
    EXPECT_TRUE(loadServerEndpoint(machine.files, endpoint));
    EXPECT_EQ(endpoint.ip, " http://h ");
    EXPECT_EQ(endpoint.port, "");
    EXPECT_EQ(endpoint.path, "/p\r?");
}

TEST(ServerEndpoint, FewerThanThreeLinesFailAndChangeNothing) {
    for (const std::string content : {"", "http://h\n", "http://h\n:1\n", "http://h\r\n:1"}) {
        FakeMachine machine;
        machine.writeFile("C:\\work\\serverip.dat", content);
        DownloadPath endpoint = profileDefaults();
        endpoint.path = "old";
        EXPECT_FALSE(loadServerEndpoint(machine.files, endpoint)) << content;
        EXPECT_EQ(endpoint.ip, "https://assist.example");
        EXPECT_EQ(endpoint.path, "old");
        EXPECT_EQ(endpoint.port, "");
    }
}

// Up to 4 KiB the file is the endpoint; a larger one is taken for absent, however it ends.
TEST(ServerEndpoint, FilesOverFourKibibytesCountAsAbsent) {
    const std::string lines = "http://h\n:1\n/p\n";
    const std::pair<size_t, bool> sizes[] = {{4096, true}, {4097, false}, {1u << 20, false}};
    for (const auto& [size, applied] : sizes) {
        FakeMachine machine;
        machine.writeFile("C:\\work\\serverip.dat", lines + std::string(size - lines.size(), 'x'));
        DownloadPath endpoint = profileDefaults();
        EXPECT_TRUE(loadServerEndpoint(machine.files, endpoint)) << size;
        EXPECT_EQ(endpoint.ip, applied ? "http://h" : "https://assist.example") << size;
        EXPECT_EQ(endpoint.path, applied ? "/p" : "/assist/server?reqtype=1&data=") << size;
    }
}

TEST(ServerEndpoint, FileIsReadFromTheCurrentDirectoryOnly) {
    FakeMachine machine;
    machine.writeFile("C:\\program\\serverip.dat", "http://h\n:1\n/p\n");
    DownloadPath endpoint = profileDefaults();
    EXPECT_TRUE(loadServerEndpoint(machine.files, endpoint));
    EXPECT_EQ(endpoint.ip, "https://assist.example");
    machine.files.setCurrentDirectory("C:\\program");
    EXPECT_TRUE(loadServerEndpoint(machine.files, endpoint));
    EXPECT_EQ(endpoint.ip, "http://h");
}

}  // namespace
}  // namespace vaultaide
