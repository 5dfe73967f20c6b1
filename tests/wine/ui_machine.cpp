#include "wine/ui_machine.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace vaultaide::wine {

namespace fs = std::filesystem;

namespace {

WineRun driver(const std::vector<std::string>& arguments) {
    return runProgram(windowsProgram("wadriver.exe"), arguments, "/tmp");
}

void removeLeftovers(const fs::path& c) {
    driver({"reg-delete", kOwnKey});
    std::error_code ignored;
    for (const std::string& place : std::initializer_list<std::string>{
             defaultFolderHost(), u8"自选目录", "Assist", "Picked", u8"澜州银行网上银行安全组件",
             u8"users/Public/Desktop/澜州银行网银助手.lnk",
             u8"ProgramData/Microsoft/Windows/Start Menu/Programs/澜州银行网上银行安全组件"})
        fs::remove_all(c / place, ignored);
}

// One request passed on to the server as HTTP/1.0 without keep-alive: its whole answer.
std::string passOn(int port, const std::string& host, const std::string& target) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    std::string answer;
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string request =
            "GET " + target + " HTTP/1.0\r\nHost: " + host + "\r\nConnection: close\r\n\r\n";
        if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
            char buffer[65536];
            for (ssize_t got; (got = recv(fd, buffer, sizeof buffer, 0)) > 0;)
                answer.append(buffer, static_cast<size_t>(got));
        }
    }
    if (fd >= 0) close(fd);
    return answer;
}

}  // namespace

ServerFront::ServerFront(int serverPort)
    : serverPort_(serverPort), http_([this](const std::string& head) { return answer(head); }) {}

void ServerFront::refuse(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    refused_.insert(path);
}

void ServerFront::holdHalfway(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    held_.insert(path);
}

void ServerFront::keepWaiting(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_.insert(path);
}

void ServerFront::letGo() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        letGo_ = true;
        held_.clear();
    }
    http_.releaseHeld();
}

bool ServerFront::asked(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    return asked_.count(path) != 0;
}

testing::RawHttpServer::Reply ServerFront::answer(const std::string& head) {
    // "GET TARGET HTTP/1.0": the path is the target without its query.
    const size_t start = head.find(' ') + 1, end = head.find(' ', start);
    const std::string target = head.substr(start, end - start);
    const std::string path = target.substr(0, target.find('?'));
    bool waits = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        asked_.insert(path);
        if (refused_.count(path)) return {testing::RawHttpServer::response(404, ""), false};
        if (held_.count(path))
            return {testing::RawHttpServer::response(200, std::string(512 * 1024, 'h'), true,
                                                     1024 * 1024),
                    true};
        waits = waiting_.count(path) != 0 && !letGo_;
    }
    // The front's own address as the host, so that "{self}" in the answers leads back here.
    const auto answer = [&] {
        return passOn(serverPort_, "127.0.0.1:" + std::to_string(port()), target);
    };
    if (!waits) return {answer(), false};
    // A waiting answer starts at once and grows by a byte of a header line every half second,
    // so that no receive of the program's waits out its time-out however long the test takes.
    // Requests are answered one after the other: a waiting one holds up the rest, bounded.
    const std::string status = "HTTP/1.1 200 OK\r\n";
    bool open = http_.sendNow(status + "X-Waiting: ");
    for (int i = 0; open && waits && i < 120; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        open = http_.sendNow(".");
        std::lock_guard<std::mutex> lock(mutex_);
        waits = !letGo_;
    }
    const std::string whole = answer();
    EXPECT_EQ(whole.compare(0, status.size(), status), 0) << "the waiting answer began 200";
    return {"\r\n" + whole.substr(std::min(whole.size(), status.size())), false};
}

std::string defaultFolder() {
    return std::string(wow64Prefix() ? "C:\\Program Files (x86)" : "C:\\Program Files") +
           "\\澜州银行网上银行安全组件\\澜州银行网银助手";
}

std::string defaultFolderHost() {
    return std::string(wow64Prefix() ? "Program Files (x86)" : "Program Files") +
           u8"/澜州银行网上银行安全组件/澜州银行网银助手";
}

UiMachine::UiMachine() : release_(root_.path() / "810") {
    const std::string command = std::string(VAULTAIDE_SOURCE_DIR) +
                                "/tests/fixtures/make-sample-release " + VAULTAIDE_PUBLISH_BIN +
                                " " + VAULTAIDE_WIN_BUILD_DIR + "/stubs " + VAULTAIDE_TEST_KEY_DIR +
                                " " + release_.string() + " >/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    removeLeftovers(driveC(""));
    // The platform vendor's runtimes count as installed: no run reaches for their host.
    for (const char* marker :
         {"{A09D5493-0D9F-3211-B3BF-DD7ABBB318C1}", "{02A39130-2CF3-30CA-8623-30F6071A4221}"})
        EXPECT_EQ(driver({"reg-set",
                          std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") +
                              marker,
                          "Version", "12.0"})
                      .exitCode,
                  0);
}

UiMachine::~UiMachine() {
    endCommand();
    removeLeftovers(driveC(""));
}

fs::path UiMachine::driveC(const std::string& relative) const {
    return fs::path(benchDirectory()) / "prefix" / "drive_c" / relative;
}

void UiMachine::serve(const std::string& version, const std::string& update,
                      const std::string& url) {
    server_.reset();
    server_ = std::make_unique<testing::ServerProcess>(R"({"banks": {"810": {"version": ")" +
                                                           version + R"(", "url": ")" + url +
                                                           R"(", "update": ")" + update + R"("}}})",
                                                       root_.path().string());
    pointAt(server_->port());
}

void UiMachine::pointAt(int port) {
    writeHostFile(work() + "/serverip.dat", "http://127.0.0.1\n:" + std::to_string(port) +
                                                "\n/assist/server?reqtype=1&data=\n");
}

void UiMachine::installed(const std::string& version, const std::string& folderHost,
                          const std::string& folderWindows) {
    const fs::path folder = driveC(folderHost);
    fs::create_directories(folder);
    fs::copy(release_, folder, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    EXPECT_EQ(driver({"reg-set", kOwnKey, "Version", version}).exitCode, 0);
    EXPECT_EQ(driver({"reg-set", kOwnKey, "Path", folderWindows}).exitCode, 0);
}

std::unique_ptr<BackgroundProgram> UiMachine::start(const std::vector<std::string>& arguments) {
    return std::make_unique<BackgroundProgram>(windowsProgram("vaultaide_810.exe"), arguments,
                                               work());
}

WineRun UiMachine::endCommand() {
    return runProgram(windowsProgram("vaultaide_810.exe"), {"-t"}, work());
}

std::string UiMachine::registryValue(const std::string& name) const {
    // The driver prints "TYPE SIZE HEX" of the stored bytes.
    std::istringstream fields(driver({"reg-get", "32", kOwnKey, name}).output);
    std::string type, size, hex, value;
    if (!(fields >> type >> size >> hex)) return "";
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        value += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return value;
}

}  // namespace vaultaide::wine
