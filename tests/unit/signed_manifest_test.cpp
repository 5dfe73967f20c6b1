#include "packages/signed_manifests.h"

#include <gtest/gtest.h>

#include "common/key_folder.h"
#include "fakes/fake_platform.h"
#include "packages/digest_manifest.h"
#include "protocol/built_in_keys.h"
#include "publish/manifest_writer.h"

namespace vaultaide {
namespace {

std::string privateKey() {
    std::string pem;
    EXPECT_TRUE(tools::readTextFile(
        std::string(VAULTAIDE_TEST_KEY_DIR) + "/" + tools::kManifestPrivateKeyFile, pem));
    return pem;
}

std::string signedManifest(const std::vector<tools::ManifestFile>& files = {
                               {"Data", "a.dat", "AAAAAAAAAAAAAAAAAAAAAAAAAAA="},
                               {"", "Nexio_810.exe", "BBBBBBBBBBBBBBBBBBBBBBBBBBB="}}) {
    std::string manifest, error;
    EXPECT_TRUE(tools::writeSignedManifest(files, privateKey(), manifest, error)) << error;
    return manifest;
}

bool verifies(const std::string& bytes) {
    return verifySignedBytes(bytes, builtInManifestPublicKey());
}

TEST(SignedManifest, PublishedManifestsVerifyAndRead) {
    const std::string manifest = signedManifest();
    EXPECT_TRUE(verifies(manifest));
    EXPECT_EQ(manifest.find('\n'), manifest.find("\r\n") + 1);  // CR LF line ends
    const auto sign = manifest.find("\r\n<Sign>");
    EXPECT_EQ(manifest.rfind('<') - sign, kSignatureBlockBytes);
    fakes::FakeMachine m;
    DigestManifest reader(m.text);
    ASSERT_TRUE(reader.loadText(manifest));
    ASSERT_EQ(reader.entryCount(), 2);
    EXPECT_EQ(reader.entries()[1].fileName, "Nexio_810.exe");
    EXPECT_TRUE(verifies(signedManifest({})));
}

TEST(SignedManifest, WhatBreaksTheSignatureAndWhatDoesNot) {
    const std::string good = signedManifest();
    const auto sign = good.find("\r\n<Sign>");
    const auto last = good.rfind('<');

    std::string bareLineFeed = good;
    bareLineFeed.erase(sign, 1);
    EXPECT_FALSE(verifies(bareLineFeed));

    std::string changed = good;
    changed[good.find("a.dat")] = 'b';
    EXPECT_FALSE(verifies(changed));

    std::string extraTag = good + "<!-- trailing -->";
    EXPECT_FALSE(verifies(extraTag));

    EXPECT_FALSE(verifies(good.substr(0, last) + "</Other>\r\n"));  // the tail is signed too

    std::string unexamined = good;
    for (size_t i = last - 9; i < last; ++i) unexamined[i] = 'x';
    EXPECT_TRUE(verifies(unexamined));

    std::string lowerCase = good;
    for (size_t i = sign + 8; i < sign + 8 + 256; ++i)
        lowerCase[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(lowerCase[i])));
    EXPECT_TRUE(verifies(lowerCase));

    std::string wrongSignature = good;
    wrongSignature[sign + 20] = wrongSignature[sign + 20] == '0' ? '1' : '0';
    EXPECT_FALSE(verifies(wrongSignature));

    EXPECT_FALSE(verifies(""));
    EXPECT_FALSE(verifies("no tags at all"));
    EXPECT_FALSE(verifySignedBytes(
        good, "-----BEGIN RSA PUBLIC KEY-----\nAAAA\n-----END RSA PUBLIC KEY-----\n"));
}

TEST(SignedManifest, ALineBreakAfterTheRootIsPartOfTheSignedTail) {
    // Signed with the tail "</Digest>\r\n": removing the line break changes the message.
    const std::string good = signedManifest();
    ASSERT_EQ(good.substr(good.size() - 2), "\r\n");
    EXPECT_FALSE(verifies(good.substr(0, good.size() - 2)));
}

TEST(SignedManifest, VerifyingAFileReadsItWhole) {
    fakes::FakeMachine m;
    m.writeFile("C:\\A\\Digest.xml", signedManifest());
    EXPECT_TRUE(verifySignedFile(m.files, "C:\\A\\Digest.xml", builtInManifestPublicKey()));
    EXPECT_FALSE(verifySignedFile(m.files, "C:\\A\\Missing.xml", builtInManifestPublicKey()));
}

}  // namespace
}  // namespace vaultaide
