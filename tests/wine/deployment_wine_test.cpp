// The Windows program under Wine against a deployment as an operator runs it: nginx in front of
// two vaultaide-server instances, the exchange and a first installation over https.
#include <gtest/gtest.h>

#include <filesystem>

#include "integration/nginx_deployment.h"
#include "wine/wine_bench.h"

namespace vaultaide::wine {
namespace {

namespace fs = std::filesystem;

const char* kOwnKey = "Software\\\\Vellumark\\Nexio\\KORVA\\810";

TEST(WineDeployment, ExchangeAndFirstInstallationThroughNginx) {
    fakes::TempDir root, work;
    testing::publishDeploymentRelease(root.path().string());
    testing::NginxDeployment front(
        R"({"banks": {"810": {"version": "1.0.0.1", "url": "{self}/releases/810", "update": "0"}}})",
        root.path().string());

    // An installed assistant of the current version asks through the front and ends quietly.
    const std::string driver = windowsProgram("wadriver.exe");
    ASSERT_EQ(runProgram(driver, {"reg-set", kOwnKey, "Version", "1.0.0.1"}, "/tmp").exitCode, 0);
    ASSERT_EQ(runProgram(driver, {"reg-set", kOwnKey, "Path", "C:\\Assist"}, "/tmp").exitCode, 0);
    // Over https with the front's self-signed certificate, which the program accepts by design.
    const std::string port = front.httpsBase().substr(front.httpsBase().rfind(':'));
    writeHostFile((work.path() / "serverip.dat").string(),
                  "https://127.0.0.1\n" + port + "\n/assist/server?reqtype=1&data=\n");
    const WineRun exchange =
        runProgram(windowsProgram("vaultaide_810.exe"), {}, work.path().string());
    runProgram(driver, {"reg-delete", kOwnKey}, "/tmp");
    EXPECT_EQ(exchange.exitCode, 0);
    EXPECT_NE(front.serverLogs().find(" 200 "), std::string::npos);
    EXPECT_NE(front.serverLogs().find("bank 810 version 1.0.0.1"), std::string::npos)
        << front.serverLogs() << exchange.output;

    const fs::path install = work.path() / "Assist";
    fs::create_directories(install);
    const WineRun run = runProgram(
        driver, {"packages", front.httpsBase() + "/releases/810", windowsPathOf(install), "0"},
        work.path().string());
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(readHostFile((install / "Data" / u8"说明.txt").string()), "shuoming");
    EXPECT_EQ(readHostFile((install / "Nexio_810.exe").string()), "main program");
}

}  // namespace
}  // namespace vaultaide::wine
