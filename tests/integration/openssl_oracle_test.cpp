// The openssl command-line tool as an independent oracle for the envelope's triple-DES, RSA
// and digest, and for the manifest signatures.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "common/key_folder.h"
#include "fakes/fake_platform.h"
#include "packages/signed_manifests.h"
#include "protocol/built_in_keys.h"
#include "protocol/envelope.h"
#include "publish/manifest_writer.h"

namespace vaultaide {
namespace {

using fakes::readHostFile;
using fakes::writeHostFile;

// Runs a shell command in the folder; its exit status.
int shell(const std::string& folder, const std::string& command) {
    return std::system(("cd '" + folder + "' && " + command + " 2>/dev/null").c_str());
}

class OpenSslOracle : public ::testing::Test {
protected:
    fakes::TempDir dir;
    std::string at(const std::string& name) { return (dir.path() / name).string(); }
    std::string folder() { return dir.path().string(); }

    // The envelope private key as DER, built from its components by openssl itself.
    void writeEnvelopeKey() {
        const auto& k = builtInEnvelopeKeys();
        writeHostFile(at("key.conf"), "asn1=SEQUENCE:rsa\n[rsa]\nversion=INTEGER:0\nn=INTEGER:0x" +
                                          k.N + "\ne=INTEGER:0x" + k.E + "\nd=INTEGER:0x" + k.D +
                                          "\np=INTEGER:0x" + k.P + "\nq=INTEGER:0x" + k.Q +
                                          "\ndp=INTEGER:0x" + k.DP + "\ndq=INTEGER:0x" + k.DQ +
                                          "\nqp=INTEGER:0x" + k.QP + "\n");
        ASSERT_EQ(shell(folder(), "openssl asn1parse -genconf key.conf -out key.der -noout"), 0);
    }
};

TEST_F(OpenSslOracle, OpensOurEnvelopeFieldByField) {
    writeEnvelopeKey();
    const std::string plaintext = R"({"v":"1.0.0.5","url":"http://h/810","update":"1"})";
    std::string text, bytes;
    ASSERT_TRUE(sealEnvelope(builtInEnvelopeKeys(), plaintext, text));
    ASSERT_TRUE(hexDecode(text, bytes));
    const size_t c = plaintext.size() - plaintext.size() % 8 + 8;
    writeHostFile(at("key.enc"), bytes.substr(7, 128));
    writeHostFile(at("body.enc"), bytes.substr(139, c));
    ASSERT_EQ(shell(folder(),
                    "openssl pkeyutl -decrypt -inkey key.der -keyform DER "
                    "-in key.enc -out key.bin -pkeyopt rsa_padding_mode:pkcs1"),
              0);
    const std::string messageKey = readHostFile(at("key.bin"));
    ASSERT_EQ(messageKey.size(), 24u);
    ASSERT_EQ(shell(folder(), "openssl enc -d -des-ede3-cbc -K " + hexEncode(messageKey) +
                                  " -iv 3331343135393236 -in body.enc -out body.txt"),
              0);
    EXPECT_EQ(readHostFile(at("body.txt")), plaintext);
    ASSERT_EQ(shell(folder(), "openssl dgst -sha1 -binary -out body.sha body.txt"), 0);
    EXPECT_EQ(readHostFile(at("body.sha")), bytes.substr(142 + c, 20));
}

TEST_F(OpenSslOracle, WeOpenWhatOpensslSeals) {
    writeEnvelopeKey();
    const std::string plaintext = "{\"v\":\"2.0.0.1\"}";
    const std::string messageKey = "0123456789abcdefghijklmn";
    writeHostFile(at("plain.txt"), plaintext);
    writeHostFile(at("key.bin"), messageKey);
    ASSERT_EQ(shell(folder(), "openssl rsa -inform DER -in key.der -pubout -out pub.pem"), 0);
    ASSERT_EQ(shell(folder(),
                    "openssl pkeyutl -encrypt -pubin -inkey pub.pem -in key.bin "
                    "-out key.enc -pkeyopt rsa_padding_mode:pkcs1"),
              0);
    ASSERT_EQ(shell(folder(), "openssl enc -des-ede3-cbc -K " + hexEncode(messageKey) +
                                  " -iv 3331343135393236 -in plain.txt -out body.enc"),
              0);
    const std::string key = readHostFile(at("key.enc")), body = readHostFile(at("body.enc"));
    std::string envelope = std::string("\x30\x82", 2);
    envelope += static_cast<char>((body.size() + 158) >> 8);
    envelope += static_cast<char>((body.size() + 158) & 0xFF);
    envelope += std::string("\x04\x81\x80", 3) + key + std::string("\x04\x82", 2);
    envelope += static_cast<char>(body.size() >> 8);
    envelope += static_cast<char>(body.size() & 0xFF);
    envelope += body + std::string("\x04\x81\x14", 3) + sha1Digest(plaintext);
    std::string opened;
    ASSERT_TRUE(openServerAnswer(builtInEnvelopeKeys(), hexEncode(envelope), opened));
    EXPECT_EQ(opened, plaintext);
}

// The release's version and bank code stand in the signed part: openssl agrees on the
// signature, and a manifest whose attributes were edited no longer verifies.
TEST_F(OpenSslOracle, ManifestSignedByOpensslVerifiesAndOursVerifiesWithOpenssl) {
    std::string manifest, error, privateKey;
    ASSERT_TRUE(tools::readTextFile(std::string(VAULTAIDE_TEST_KEY_DIR) + "/manifest_private.pem",
                                    privateKey));
    ASSERT_TRUE(tools::writeSignedManifest({{"Data", "x.dat", "XXXXXXXXXXXXXXXXXXXXXXXXXXX="}},
                                           privateKey, manifest, error, {"1.0.0.2", 0x810}));
    const std::string root = "<Digest Version=\"1.0.0.2\" BankID=\"810\">";
    ASSERT_NE(manifest.find(root), std::string::npos) << manifest;
    std::string message, signatureHex;
    ASSERT_TRUE(signedMessage(manifest, message, signatureHex));
    writeHostFile(at("message"), message);
    writeHostFile(at("priv.pem"), privateKey);
    writeHostFile(at("pub.pem"), builtInManifestPublicKey());
    // openssl signs the bare digest with block type 01, as the vendor's signer does.
    ASSERT_EQ(shell(folder(),
                    "openssl dgst -sha1 -binary -out digest message && "
                    "openssl pkeyutl -sign -inkey priv.pem -in digest -out sig "
                    "-pkeyopt rsa_padding_mode:pkcs1"),
              0);
    const std::string theirs = hexEncode(readHostFile(at("sig")));
    EXPECT_EQ(theirs, signatureHex);  // PKCS#1 v1.5 signing is deterministic
    std::string resigned = manifest;
    resigned.replace(manifest.find("<Sign>") + 6, 256, theirs);
    EXPECT_TRUE(verifySignedBytes(resigned, builtInManifestPublicKey()));
    // And openssl recovers our signature's digest with the public key.
    writeHostFile(at("oursig"), hexDecodeSignature(signatureHex));
    ASSERT_EQ(shell(folder(),
                    "openssl pkeyutl -verifyrecover -pubin -inkey pub.pem -in oursig "
                    "-out recovered -pkeyopt rsa_padding_mode:pkcs1"),
              0);
    EXPECT_EQ(readHostFile(at("recovered")), readHostFile(at("digest")));

    for (const std::string edited :
         {"<Digest Version=\"9.0.0.2\" BankID=\"810\">",
          "<Digest Version=\"1.0.0.2\" BankID=\"811\">", "<Digest BankID=\"810\">", "<Digest>"}) {
        std::string forged = manifest;
        forged.replace(forged.find(root), root.size(), edited);
        ASSERT_TRUE(signedMessage(forged, message, signatureHex));
        writeHostFile(at("forged"), message);
        ASSERT_EQ(shell(folder(), "openssl dgst -sha1 -binary -out forged.sha forged"), 0);
        EXPECT_NE(readHostFile(at("forged.sha")), readHostFile(at("recovered"))) << edited;
        EXPECT_FALSE(verifySignedBytes(forged, builtInManifestPublicKey())) << edited;
    }
}

}  // namespace
}  // namespace vaultaide
