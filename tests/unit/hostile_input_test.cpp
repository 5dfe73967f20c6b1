// Answers and manifests come from the network: mangled ones must fail cleanly, never read
// outside their bytes (the sanitizers watch these runs).
#include <gtest/gtest.h>

#include <random>

#include "base/utf8.h"
#include "fakes/fake_platform.h"
#include "packages/digest_manifest.h"
#include "packages/signed_manifests.h"
#include "protocol/built_in_keys.h"
#include "protocol/envelope.h"
#include "protocol/server_answer.h"

namespace vaultaide {
namespace {

TEST(HostileInput, MangledEnvelopesFailCleanly) {
    std::mt19937 random(810);
    std::string text;
    ASSERT_TRUE(sealEnvelope(builtInEnvelopeKeys(), R"({"v":"1.0.0.1","url":"u"})", text));
    const std::string original = R"({"v":"1.0.0.1","url":"u"})";
    for (int round = 0; round < 300; ++round) {
        std::string mangled = text;
        switch (round % 4) {
            case 0:  // truncated anywhere
                mangled.resize(random() % mangled.size());
                break;
            case 1:  // one byte of a length or tag field changed
                mangled[2 * (random() % 8) + (round % 2)] = "0123456789ABCDEF"[random() % 16];
                break;
            case 2:  // the ciphertext length field set to any value
                mangled.replace(274, 4,
                                hexEncode(std::string{static_cast<char>(random() % 256),
                                                      static_cast<char>(random() % 256)}));
                break;
            default:  // random characters anywhere
                for (int i = 0; i < 5; ++i)
                    mangled[random() % mangled.size()] = char(random() % 256);
        }
        // Unexamined tag and length bytes may change; whatever opens is the sealed text itself.
        std::string plaintext;
        if (openServerAnswer(builtInEnvelopeKeys(), mangled, plaintext)) {
            EXPECT_EQ(plaintext, original) << round;
        }
    }
}

TEST(HostileInput, RandomAnswerTextNeverCrashesTheReader) {
    std::mt19937 random(2064);
    fakes::FakeMachine m;
    const std::string alphabet = "{}[]\":,\\u0123456789abcdefvurlpdt \x81\x5C\xC3";
    for (int round = 0; round < 500; ++round) {
        std::string text;
        const size_t length = random() % 64;
        for (size_t i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
        ServerAnswer answer;
        readServerAnswer(text, m.text, answer);
        readServerAnswer("{\"v\":\"" + text + "\"}", m.text, answer);
    }
}

TEST(HostileInput, AnswersNestedBeyondTheReadersLimitAreRefused) {
    fakes::FakeMachine m;
    ServerAnswer answer;
    EXPECT_FALSE(readServerAnswer("{\"v\":" + std::string(1200, '['), m.text, answer));
    EXPECT_TRUE(readServerAnswer(
        "{\"v\":\"1\",\"x\":" + std::string(900, '[') + std::string(900, ']') + "}", m.text,
        answer));
    EXPECT_EQ(answer.v, "1");
}

TEST(HostileInput, TruncatedManifestsNeitherVerifyNorCrash) {
    std::mt19937 random(3);
    fakes::FakeMachine m;
    std::string manifest = "<?xml version=\"1.0\"?>\r\n<Digest>\r\n<FileInfo>\r\n";
    for (int i = 0; i < 20; ++i)
        manifest +=
            "<File Path=\"Data\" FileName=\"f" + std::to_string(i) + "\" Digest=\"d\"/>\r\n";
    manifest += "</FileInfo>\r\n<Sign>" + std::string(256, 'A') + "</Sign>\r\n</Digest>\r\n";
    DigestManifest reader(m.text);
    for (int round = 0; round < 200; ++round) {
        std::string cut = manifest.substr(0, random() % manifest.size());
        if (round % 2 && !cut.empty()) cut[random() % cut.size()] = '<';
        EXPECT_FALSE(verifySignedBytes(cut, builtInManifestPublicKey()));
        reader.loadText(cut);
        reader.entries();
        reader.readAttribute("File", "FileName", 1 + static_cast<int>(random() % 25));
    }
}

TEST(HostileInput, ManifestsThatAreNotWellFormedUtf8AreRefusedBeforeParsing) {
    fakes::FakeMachine m;
    DigestManifest reader(m.text);
    // A text ending in a UTF-8 lead byte made the parser read past its end.
    std::string overRead;
    ASSERT_TRUE(hexDecode("3c44743e0d1b1b1b1b616d58783d222fcb", overRead));
    EXPECT_FALSE(reader.loadText(overRead));
    const struct {
        const char* bytes;
        bool wellFormed;
    } cases[] = {
        {"<a>\xE8\xAF\xB4\xE6\x98\x8E</a>", true},  // 说明
        {"<a>\xF0\x9F\x98\x80</a>", true},          // U+1F600
        {"<a>\xC0\xAF</a>", false},                 // overlong "/"
        {"<a>\xE0\x80\xAF</a>", false},             // overlong "/"
        {"<a>\xED\xA0\x80</a>", false},             // a surrogate
        {"<a>\xF4\x90\x80\x80</a>", false},         // above U+10FFFF
        {"<a>\xE8\xAF</a>", false},                 // cut short
        {"<a>\x81\x5C</a>", false},                 // GBK, not UTF-8
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isWellFormedUtf8(c.bytes), c.wellFormed) << c.bytes;
        EXPECT_EQ(reader.loadText(c.bytes), c.wellFormed) << c.bytes;
    }
    EXPECT_FALSE(isWellFormedUtf8(std::string("<a>\0</a>", 8)));
}

}  // namespace
}  // namespace vaultaide
