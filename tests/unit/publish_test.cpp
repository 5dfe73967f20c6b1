// The release tool: key folders that nobody else can read and nothing overwrites, and release
// trees that hold only what the program can install.
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "common/key_folder.h"
#include "fakes/fake_platform.h"
#include "packages/signed_manifests.h"
#include "protocol/built_in_keys.h"
#include "publish/keygen.h"
#include "publish/manifest_writer.h"

namespace vaultaide::tools {
namespace {

namespace fs = std::filesystem;

unsigned modeOf(const fs::path& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
}

TEST(Keygen, MakesAPrivateFolderAndNeverOverwritesOrFollowsALink) {
    fakes::TempDir work;
    const fs::path folder = work.path() / "keys";
    std::string error;
    ASSERT_TRUE(generateKeyFolder(folder.string(), error)) << error;
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(folder / kEnvelopeKeyFile), 0600u);
    EXPECT_EQ(modeOf(folder / kManifestPrivateKeyFile), 0600u);
    EXPECT_EQ(modeOf(folder / kManifestPublicKeyFile), 0644u);
    const std::string before = fakes::readHostFile((folder / kEnvelopeKeyFile).string());
    EnvelopeKeyPair keys;
    EXPECT_TRUE(readEnvelopeKeys(folder.string(), keys, error)) << error;

    EXPECT_FALSE(generateKeyFolder(folder.string(), error));
    EXPECT_NE(error.find("exists; keys are never overwritten"), std::string::npos) << error;
    EXPECT_EQ(fakes::readHostFile((folder / kEnvelopeKeyFile).string()), before);

    // A folder others can open is not used; a link where a key file goes is not written
    // through.
    const fs::path linked = work.path() / "linked";
    fs::create_directories(linked);
    fs::permissions(linked, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    EXPECT_FALSE(generateKeyFolder(linked.string(), error));
    EXPECT_NE(error.find("is not a folder of mode 0700"), std::string::npos) << error;
    fs::permissions(linked, fs::perms::owner_all);
    fs::create_symlink(work.path() / "elsewhere", linked / kManifestPrivateKeyFile);
    EXPECT_FALSE(generateKeyFolder(linked.string(), error));
    EXPECT_FALSE(fs::exists(work.path() / "elsewhere"));
    EXPECT_FALSE(fs::exists(linked / kEnvelopeKeyFile));
}

class Publish : public ::testing::Test {
protected:
    fakes::TempDir work;
    fs::path common() const { return work.path() / "common"; }
    fs::path bank() const { return work.path() / "bank"; }
    fs::path out() const { return work.path() / "out"; }
    void SetUp() override {
        fs::create_directories(common() / "Data");
        fs::create_directories(bank());
        fakes::writeHostFile((common() / "readme.txt").string(), "read me");
        fakes::writeHostFile((common() / "Data" / u8"说明.txt").string(), "shuoming");
        fakes::writeHostFile((bank() / "Nexio_810.exe").string(), "main");
        // Names that Windows holds side by side: full-width and ASCII letters differ.
        fakes::writeHostFile((common() / "a.dll").string(), "ascii");
        fakes::writeHostFile((bank() / u8"ａ.dll").string(), "full-width");
        fakes::writeHostFile((common() / "Data" / u8"ａβяⅰ.dat").string(), "letters");
    }
    bool publish(std::string& error, int code = 0x810, const std::string& version = "1.0.0.2") {
        return publishRelease(common().string(), bank().string(), code, VAULTAIDE_TEST_KEY_DIR,
                              out().string(), error, version);
    }
};

TEST_F(Publish, ChineseNamesAreServedUnderTheirGbkBytesAndManifestsVerify) {
    // Names the tool once used for its own temporary files are published like any other.
    fakes::writeHostFile((common() / "Nexio_810.exe.publishing").string(), "common file");
    fakes::writeHostFile((bank() / "Digest.xml.publishing").string(), "bank file");
    fakes::writeHostFile((common() / "Data" / "first only.dat").string(), "first release");
    std::string error;
    ASSERT_TRUE(publish(error)) << error;
    fakes::writeHostFile((bank() / "Nexio_810.exe").string(), "main, second release");
    fs::remove(common() / "Data" / "first only.dat");
    ASSERT_TRUE(publish(error)) << error;  // over the first release, whose extra file goes

    std::set<std::string> served;
    for (const auto& item : fs::recursive_directory_iterator(out()))
        served.insert(fs::relative(item.path(), out()).string());
    EXPECT_EQ(served,
              (std::set<std::string>{
                  "Data", "Data/\xcb\xb5\xc3\xf7.txt", "Data/\xa3\xe1\xa6\xc2\xa7\xf1\xa2\xa1.dat",
                  "Digest.xml", "Digest.xml.publishing", "Digest_810.xml", "Nexio_810.exe",
                  "Nexio_810.exe.publishing", "a.dll", "readme.txt", "\xa3\xe1.dll"}));
    EXPECT_EQ(fakes::readHostFile((out() / "Data" / "\xcb\xb5\xc3\xf7.txt").string()), "shuoming");
    EXPECT_EQ(fakes::readHostFile((out() / "Nexio_810.exe").string()), "main, second release");
    EXPECT_EQ(fakes::readHostFile((out() / "Nexio_810.exe.publishing").string()), "common file");
    EXPECT_EQ(fakes::readHostFile((out() / "Digest.xml.publishing").string()), "bank file");
    // Beside another bank's manifest, which may list it, an earlier file stays.
    fakes::writeHostFile((out() / "Digest_811.xml").string(), "another bank");
    fakes::writeHostFile((out() / "Data" / "other bank.dat").string(), "listed there");
    ASSERT_TRUE(publish(error)) << error;
    EXPECT_TRUE(fs::exists(out() / "Data" / "other bank.dat"));
    for (const char* name : {"Digest.xml", "Digest_810.xml"}) {
        const std::string manifest = fakes::readHostFile((out() / name).string());
        EXPECT_TRUE(verifySignedBytes(manifest, builtInManifestPublicKey())) << name;
        EXPECT_NE(manifest.find("\r\n<Digest Version=\"1.0.0.2\" BankID=\"810\">\r\n"),
                  std::string::npos)
            << name;
    }
    EXPECT_NE(fakes::readHostFile((out() / "Digest.xml").string())
                  .find(u8"<File Path=\"Data\" FileName=\"说明.txt\" Digest=\"" +
                        base64Digest(sha1Digest("shuoming")) + "\"/>"),
              std::string::npos);
    EXPECT_NE(fakes::readHostFile((out() / "Digest_810.xml").string())
                  .find("FileName=\"Digest.xml.publishing\" Digest=\"" +
                        base64Digest(sha1Digest("bank file")) + "\"/>"),
              std::string::npos);
}

TEST_F(Publish, RefusesWhatTheProgramCannotInstallAndPublishesNothing) {
    const struct {
        fs::path item;  // relative to the work folder; a trailing "/" makes a folder
        std::string fault;
        std::string other = "";  // the file the item clashes with, named too
    } cases[] = {
        {"common/a:b.txt", "the name holds what the program refuses"},
        {"common/a\\b.txt", "the name holds what the program refuses"},
        {"common/tab\there.txt", "the name holds what the program refuses"},
        {"common/con .txt", "the name holds what the program refuses"},
        {"common/a|b.txt", "a character Windows does not allow"},
        {"common/Data/CON", "reserved device name"},
        {"common/nul.txt", "reserved device name"},
        {"bank/Com7.dll", "reserved device name"},
        {"common/lpt1.tar.gz", "reserved device name"},
        {"common/dot.", "a trailing dot or space"},
        {"common/Bin/x.dll", "only Data, Plugins, Script and Tools are installed folders"},
        {"common/data/x.dat", "only Data, Plugins, Script and Tools"},
        {"bank/download/x.dat", "DownLoad is the installation's staging folder"},
        {"common/Data/deeper/", "only files one folder deep"},
        {"common/digest_166.xml", "Digest*.xml are the manifests themselves"},
        {"bank/VaultAide_OLD.exe", "the program moves its own file to this name"},
        {"bank/readme.txt", "both sets hold readme.txt", "common/readme.txt"},
        {"bank/README.TXT", "are one name on Windows, letter case aside", "common/readme.txt"},
        {"common/READme.txt", "are one name on Windows", "common/readme.txt"},
        {u8"common/Ａ.dll", "are one name on Windows", u8"bank/ａ.dll"},
        {u8"bank/Data/Ａβяⅰ.dat", "are one name on Windows", u8"common/Data/ａβяⅰ.dat"},
        {u8"bank/Data/ａΒяⅰ.dat", "are one name on Windows", u8"common/Data/ａβяⅰ.dat"},
        {u8"bank/Data/ａβЯⅰ.dat", "are one name on Windows", u8"common/Data/ａβяⅰ.dat"},
        {u8"bank/Data/ａβяⅠ.dat", "are one name on Windows", u8"common/Data/ａβяⅰ.dat"},
        {"common/data", "the installation always has a folder Data of this name", "common/data"},
        {"bank/TOOLS", "always has a folder Tools of this name", "bank/TOOLS"},
        {"bank/DownLoad", "always has a folder DownLoad (its staging folder)", "bank/DownLoad"},
        {"common/dOWNLOAD", "always has a folder DownLoad", "common/dOWNLOAD"},
    };
    for (const auto& c : cases) {
        const fs::path item = work.path() / c.item;
        // Whatever the case adds is removed again: a new folder, or else the item itself.
        const fs::path added = fs::exists(item.parent_path()) ? item : item.parent_path();
        if (c.item.string().back() == '/') {
            fs::create_directories(item / "x");
        } else {
            fs::create_directories(item.parent_path());
            fakes::writeHostFile(item.string(), "x");
        }
        std::string error;
        EXPECT_FALSE(publish(error)) << c.item;
        EXPECT_NE(error.find(c.fault), std::string::npos) << c.item << ": " << error;
        if (!c.other.empty()) {
            EXPECT_NE(error.find((work.path() / c.other).string()), std::string::npos) << error;
        }
        EXPECT_FALSE(fs::exists(out())) << c.item;
        fs::remove_all(added);
    }
    std::string error;
    EXPECT_FALSE(publish(error, 0x1000));
    EXPECT_NE(error.find("at most fff"), std::string::npos) << error;
    for (const char* version : {"1.0.0", "1.0.0.123456", "1.0.0.2 ", "v1.0.0.2"}) {
        EXPECT_FALSE(publish(error, 0x810, version)) << version;
        EXPECT_NE(error.find("four numbers of 1 to 5 digits"), std::string::npos) << error;
    }
    EXPECT_TRUE(publish(error)) << error;  // each refusal left the sources as they were
}

// Runs the tool with a shell command line's arguments; its exit code, and its standard error.
int runPublish(const std::string& arguments, std::string& errors) {
    fakes::TempDir scratch;
    const std::string errorFile = (scratch.path() / "stderr").string();
    const int status = std::system(
        (std::string(VAULTAIDE_PUBLISH_BIN) + " " + arguments + " 2>" + errorFile).c_str());
    errors = fakes::readHostFile(errorFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Publish, CommandLinesOutsideTheUsageAreRefusedWithTheUsage) {
    const std::string release = "--common " + common().string() + " --bank " + bank().string() +
                                " --code 810 --version 1.0.0.2 --keys " + VAULTAIDE_TEST_KEY_DIR;
    const std::string toOut = " --out " + out().string();
    const struct {
        std::string arguments, why;
    } cases[] = {
        {"", "no command"},
        {"publish", "unknown command \"publish\""},
        {"manifest " + release + toOut + " --sign x", "unknown option \"--sign\""},
        {"manifest " + release + toOut + " extra", "unexpected argument \"extra\""},
        {"manifest " + release, "manifest: --out is missing"},
        {"manifest " + release + toOut + " --code 811", "--code given twice"},
        {"manifest " + release + " --out", "--out needs a value"},
        {"manifest " + release + " --out ''", "--out needs a value"},
        {"keygen --out " + out().string() + " again", "unexpected argument \"again\""},
        {"seal --keys " + std::string(VAULTAIDE_TEST_KEY_DIR) + " -x", "unknown option \"-x\""},
        {"verify --keys " + std::string(VAULTAIDE_TEST_KEY_DIR), "no manifest file to verify"},
        {"verify --keys " + std::string(VAULTAIDE_TEST_KEY_DIR) + " --quiet Digest.xml",
         "unknown option \"--quiet\""},
    };
    for (const auto& c : cases) {
        std::string errors;
        EXPECT_EQ(runPublish(c.arguments, errors), 2) << c.arguments;
        EXPECT_NE(errors.find(c.why + "\nusage: vaultaide-publish keygen"), std::string::npos)
            << c.arguments << ": " << errors;
        EXPECT_FALSE(fs::exists(out())) << c.arguments;
    }
    std::string errors;
    EXPECT_EQ(runPublish("manifest " + release + toOut, errors), 0) << errors;
    EXPECT_EQ(runPublish("verify " + (out() / "Digest.xml").string() + " --keys " +
                             VAULTAIDE_TEST_KEY_DIR + " " + (out() / "Digest_810.xml").string(),
                         errors),
              0)
        << errors;
    const std::string verifyOut = "verify --keys " + std::string(VAULTAIDE_TEST_KEY_DIR) + " " +
                                  out().string() + " >/dev/null";
    EXPECT_EQ(runPublish(verifyOut, errors), 0) << errors;
    fakes::writeHostFile((out() / "readme.txt").string(), "changed after signing");
    EXPECT_EQ(runPublish(verifyOut, errors), 1);  // the signatures hold, a file does not
    EXPECT_EQ(runPublish("--help >/dev/null", errors), 0);
    EXPECT_EQ(errors, "");
}

}  // namespace
}  // namespace vaultaide::tools
