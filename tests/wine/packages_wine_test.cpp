// The Windows build's manifest reader, digests and signature check (cross-built TinyXML and
// OpenSSL) against the native build's on the same published release.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "packages/digest_manifest.h"
#include "packages/file_digest.h"
#include "platform/native/iconv_text_encoding.h"
#include "publish/manifest_writer.h"
#include "wine/wine_bench.h"

namespace vaultaide::wine {
namespace {

namespace fs = std::filesystem;

TEST(WinePackages, WindowsBuildReadsVerifiesAndDigestsLikeTheNativeBuild) {
    fakes::TempDir source, out;
    fs::create_directories(source.path() / "common" / "Data");
    fs::create_directories(source.path() / "bank");
    writeHostFile((source.path() / "common" / "readme.txt").string(), "read me\r\n");
    writeHostFile((source.path() / "common" / "Data" / u8"说明.txt").string(),
                  std::string(4097, 'x'));
    writeHostFile((source.path() / "common" / "Data" / "empty.dat").string(), "");
    writeHostFile((source.path() / "bank" / "Nexio_810.exe").string(), std::string(70000, '\x90'));
    std::string error;
    ASSERT_TRUE(tools::publishRelease((source.path() / "common").string(),
                                      (source.path() / "bank").string(), 0x810,
                                      VAULTAIDE_TEST_KEY_DIR, out.path().string(), error))
        << error;
    const std::string driver = windowsProgram("wadriver.exe");

    for (const char* name : {"Digest.xml", "Digest_810.xml"}) {
        const fs::path manifest = out.path() / name;
        const WineRun verified =
            runProgram(driver, {"verify-manifest", windowsPathOf(manifest)}, "/tmp");
        EXPECT_EQ(verified.exitCode, 0) << verified.output;
        EXPECT_NE(verified.output.find("valid"), std::string::npos);

        // The entries, read by both builds, in GBK.
        IconvTextEncoding gbk;
        DigestManifest native(gbk);
        ASSERT_TRUE(native.loadText(readHostFile(manifest.string())));
        std::string expected;
        for (const auto& e : native.entries())
            expected += e.path + "|" + e.fileName + "|" + e.digest + "\n";
        const WineRun listed =
            runProgram(driver, {"manifest-entries", windowsPathOf(manifest)}, "/tmp");
        EXPECT_EQ(listed.exitCode, 0);
        std::string output = listed.output;
        output.erase(std::remove(output.begin(), output.end(), '\r'), output.end());
        EXPECT_EQ(output, expected);
    }

    // The sources, whose UTF-8 names Wine shows as Unicode: 说明.txt has an ANSI (GBK) path.
    for (const auto& item : fs::recursive_directory_iterator(source.path())) {
        if (!item.is_regular_file()) continue;
        const std::string bytes = readHostFile(item.path().string());
        const WineRun digest = runProgram(driver, {"digest", windowsPathOf(item.path())}, "/tmp");
        EXPECT_EQ(digest.exitCode, 0) << item.path();
        EXPECT_EQ(digest.output.substr(0, 28), base64Digest(sha1Digest(bytes))) << item.path();
    }

    std::string tampered = readHostFile((out.path() / "Digest.xml").string());
    tampered[tampered.find("readme.txt")] = 'R';
    writeHostFile((out.path() / "Digest.xml").string(), tampered);
    const WineRun rejected =
        runProgram(driver, {"verify-manifest", windowsPathOf(out.path() / "Digest.xml")}, "/tmp");
    EXPECT_EQ(rejected.exitCode, 1);
}

}  // namespace
}  // namespace vaultaide::wine
