#include "wine/ui_machine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace vaultaide::wine {

namespace fs = std::filesystem;

namespace {

WineRun driver(const std::vector<std::string>& arguments) {
    return runProgram(windowsProgram("wadriver.exe"), arguments, "/tmp");
}

void removeLeftovers(const fs::path& c) {
    driver({"reg-delete", kOwnKey});
    std::error_code ignored;
    for (const char* place :
         {kDefaultFolderHost, u8"自选目录", "Assist", u8"users/Public/Desktop/澜州银行网银助手.lnk",
          u8"ProgramData/Microsoft/Windows/Start Menu/Programs/澜州银行网上银行安全组件"})
        fs::remove_all(c / place, ignored);
}

}  // namespace

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
    return fs::path(VAULTAIDE_WINE_DIR) / "prefix" / "drive_c" / relative;
}

void UiMachine::serve(const std::string& version, const std::string& update,
                      const std::string& url) {
    server_.reset();
    server_ = std::make_unique<testing::ServerProcess>(R"({"banks": {"810": {"version": ")" +
                                                           version + R"(", "url": ")" + url +
                                                           R"(", "update": ")" + update + R"("}}})",
                                                       root_.path().string());
    writeHostFile(work() + "/serverip.dat",
                  "http://127.0.0.1\n:" + std::to_string(server_->port()) +
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
