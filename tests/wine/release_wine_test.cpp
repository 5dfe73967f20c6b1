// The program as a release signs it, under Wine: Windows' own Authenticode check passes it with
// the signing root trusted and refuses it with one byte changed, and the signed program still
// runs and installs (the signature does not disturb its resources or its own checks).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "wine/ui_machine.h"

namespace vaultaide::wine {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(WineRelease, SignedProgramIsTrustedRunsAndInstallsAndOneChangedByteIsNot) {
    fakes::TempDir signing;
    const std::string dir = signing.path().string();
    const std::string source = VAULTAIDE_SOURCE_DIR;
    const std::string program = dir + "/vaultaide_810.exe";
    // Signed as a release signs, here from a PKCS#12 file under a test root.
    const std::string sign =
        source + "/tests/fixtures/make-code-signing-cert " + dir +
        " && VAULTAIDE_SIGN_PKCS12=" + dir + "/signer.p12 VAULTAIDE_SIGN_PIN=test " + source +
        "/scripts/release --sign " + windowsProgram("vaultaide_810.exe") + " " + program;
    ASSERT_EQ(std::system(sign.c_str()), 0);
    std::string bytes = readHostFile(program);
    bytes[80] ^= 1;  // in the DOS stub's message, which the signed digest covers
    writeHostFile(dir + "/changed.exe", bytes);

    const std::string driver = windowsProgram("wadriver.exe");
    ASSERT_EQ(runProgram(driver, {"trust-root", windowsPathOf(dir + "/root.der")}, dir).exitCode,
              0);
    const std::string publisher = "vaultaide test publisher";
    EXPECT_EQ(runProgram(driver, {"signed-by", windowsPathOf(program), publisher}, dir).output,
              "trusted\r\n");
    EXPECT_EQ(runProgram(driver, {"signed-by", windowsPathOf(dir + "/changed.exe"), publisher}, dir)
                  .output,
              "untrusted\r\n");

    // A forced update by the signed program: it asks the server, installs and registers.
    UiMachine machine;
    machine.installed("1.0.0.1", "Assist", "C:\\Assist");
    fs::remove(machine.driveC("Assist/Data/skin.dat"));
    machine.serve("1.0.0.2", "2");
    BackgroundProgram run(program, {}, machine.work());
    int exitCode = -1;
    ASSERT_TRUE(run.waitForExit(120s, exitCode));
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(readHostFile(machine.driveC("Assist/Data/skin.dat").string()),
              readHostFile((machine.release() / "Data/skin.dat").string()));
    EXPECT_EQ(machine.registryValue("Version"), "1.0.0.2");
}

}  // namespace
}  // namespace vaultaide::wine
