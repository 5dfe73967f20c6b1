// The release tool: key folders that nobody else can read and nothing overwrites, and release
// trees that hold only what the program can install.
#include <sys/stat.h>

#include <filesystem>

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
    }
    bool publish(std::string& error, int code = 0x810, const std::string& version = "1.0.0.2") {
        return publishRelease(common().string(), bank().string(), code, VAULTAIDE_TEST_KEY_DIR,
                              out().string(), error, version);
    }
};

TEST_F(Publish, ChineseNamesAreServedUnderTheirGbkBytesAndManifestsVerify) {
    std::string error;
    ASSERT_TRUE(publish(error)) << error;
    EXPECT_EQ(fakes::readHostFile((out() / "Data" / "\xcb\xb5\xc3\xf7.txt").string()), "shuoming");
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
    for (const auto& item : fs::recursive_directory_iterator(out()))
        EXPECT_EQ(item.path().string().find(".publishing"), std::string::npos) << item.path();
}

TEST_F(Publish, RefusesWhatTheProgramCannotInstall) {
    const struct {
        fs::path item;  // relative to the work folder; a trailing "/" makes a folder
        std::string fault;
    } cases[] = {
        {"common/a:b.txt", "the name holds what the program refuses"},
        {"common/a\\b.txt", "the name holds what the program refuses"},
        {"common/tab\there.txt", "the name holds what the program refuses"},
        {"common/a..b.txt", "the name holds what the program refuses"},
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
        {"bank/README.TXT", "readme.txt and README.TXT differ only in case"},
        {"bank/readme.txt", "both sets hold readme.txt"},
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

}  // namespace
}  // namespace vaultaide::tools
