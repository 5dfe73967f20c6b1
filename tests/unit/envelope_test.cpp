#include "protocol/envelope.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "fakes/scripted_http.h"
#include "protocol/built_in_keys.h"

namespace vaultaide {
namespace {

const EnvelopeKeyPair& keys() { return builtInEnvelopeKeys(); }

std::string bytesOf(const std::string& text) {
    std::string bytes;
    EXPECT_TRUE(hexDecode(text, bytes));
    return bytes;
}

unsigned at(const std::string& bytes, size_t i) { return static_cast<unsigned char>(bytes[i]); }

TEST(Envelope, LayoutForTheBankCodeRequest) {
    std::string text;
    ASSERT_TRUE(sealEnvelope(keys(), "810", text));
    EXPECT_EQ(text.size(), 340u);
    EXPECT_EQ(text, hexEncode(bytesOf(text)));  // upper case only
    const std::string b = bytesOf(text);
    EXPECT_EQ(b.substr(0, 4), std::string("\x30\x82\x00\xA6", 4));
    EXPECT_EQ(b.substr(4, 3), std::string("\x04\x81\x80", 3));
    EXPECT_EQ(b.substr(135, 4), std::string("\x04\x82\x00\x08", 4));
    EXPECT_EQ(b.substr(147, 3), std::string("\x04\x81\x14", 3));
    EXPECT_EQ(b.substr(150), sha1Digest("810"));
    std::string plain;
    ASSERT_TRUE(openEnvelope(keys(), text, plain));
    EXPECT_EQ(plain, "810");
}

TEST(Envelope, SizesFollowThePlaintext) {
    std::string text, plain;
    ASSERT_TRUE(sealEnvelope(keys(), "12345678", text));
    EXPECT_EQ(text.size(), 356u);
    EXPECT_EQ(at(bytesOf(text), 138), 16u);
    ASSERT_TRUE(sealEnvelope(keys(), "", text));
    EXPECT_EQ(text.size(), 340u);
    EXPECT_EQ(bytesOf(text).substr(150), sha1Digest(""));
    ASSERT_TRUE(openEnvelope(keys(), text, plain));
    EXPECT_EQ(plain, "");
    const std::string large(65535 - 158 - 8, 'x');
    ASSERT_TRUE(sealEnvelope(keys(), large, text));
    ASSERT_TRUE(openEnvelope(keys(), text, plain));
    EXPECT_EQ(plain, large);
    EXPECT_FALSE(sealEnvelope(keys(), large + "12345678", text));  // the length fields overflow
}

TEST(Envelope, EveryMessageHasItsOwnKey) {
    std::string a, b;
    ASSERT_TRUE(sealEnvelope(keys(), "810", a));
    ASSERT_TRUE(sealEnvelope(keys(), "810", b));
    EXPECT_NE(a.substr(14, 256), b.substr(14, 256));
    EXPECT_NE(a.substr(278, 16), b.substr(278, 16));
}

TEST(Envelope, OpenFailures) {
    std::string text, plain = "kept";
    ASSERT_TRUE(sealEnvelope(keys(), "{\"v\":\"1\"}", text));
    const std::string good = bytesOf(text);
    auto opens = [&](const std::string& bytes) {
        return openEnvelope(keys(), hexEncode(bytes), plain);
    };
    EXPECT_TRUE(opens(good));
    EXPECT_FALSE(openEnvelope(keys(), text + "0", plain));
    EXPECT_FALSE(opens(good.substr(0, 6)));
    EXPECT_FALSE(opens(good.substr(0, 7)));
    for (size_t cut : std::vector<size_t>{135, 138, 139, 150, 155, good.size() - 1})
        EXPECT_FALSE(opens(good.substr(0, cut))) << cut;
    std::string wrongKeyLength = good;
    wrongKeyLength[6] = 0x7F;
    EXPECT_FALSE(opens(wrongKeyLength));
    std::string digestLength = good;
    digestLength[good.size() - 21] = 0x13;
    EXPECT_FALSE(opens(digestLength));
    std::string digest = good;
    digest.back() ^= 1;
    EXPECT_FALSE(opens(digest));
    std::string ciphertext = good;
    ciphertext[140] ^= 1;
    EXPECT_FALSE(opens(ciphertext));
    std::string oddCipher = good;
    oddCipher[138] = 7;  // 7 ciphertext bytes: not whole blocks
    EXPECT_FALSE(opens(oddCipher));
    std::string encryptedKey = good;
    encryptedKey[20] ^= 1;
    EXPECT_FALSE(opens(encryptedKey));
    EXPECT_EQ(plain, "{\"v\":\"1\"}");  // from the one good open
    // Tags, length forms and the outer length are not examined.
    std::string relaxed = good;
    relaxed[0] = 0x31;
    relaxed[2] = 0x7F;
    relaxed[136] = 0x00;
    EXPECT_TRUE(opens(relaxed));
}

TEST(Envelope, ServerAnswerIgnoresOneTrailingCharacterAndEndsAtZero) {
    std::string text, plain;
    ASSERT_TRUE(sealEnvelope(keys(), "{}", text));
    ASSERT_TRUE(openServerAnswer(keys(), text + "\n", plain));
    EXPECT_EQ(plain, "{}");
    std::string lower = text;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ASSERT_TRUE(openServerAnswer(keys(), lower, plain));
    // Whatever follows the digest is not examined.
    EXPECT_TRUE(openServerAnswer(keys(), text + "\r\n", plain));
    EXPECT_FALSE(openServerAnswer(keys(), text.substr(0, text.size() - 2), plain));
    EXPECT_FALSE(openServerAnswer(keys(), "", plain));
}

TEST(ServerRequest, SingleBaseAndTraces) {
    fakes::FakeMachine m;
    fakes::ScriptedHttp http;
    http.replies = {{kHttpOk, "ANSWER"}};
    DownloadPath endpoint{"http://h", {}, ":8080", "/assist/server?reqtype=1&data="};
    std::string answer = "old";
    EXPECT_TRUE(sendServerRequest(http, m.kernel, keys(), endpoint, endpoint.path, "810", answer));
    EXPECT_EQ(answer, "ANSWER");
    ASSERT_EQ(http.urls.size(), 1u);
    const std::string prefix = "http://h:8080/assist/server?reqtype=1&data=";
    EXPECT_EQ(http.urls[0].substr(0, prefix.size()), prefix);
    std::string plain;
    ASSERT_TRUE(openEnvelope(keys(), http.urls[0].substr(prefix.size()), plain));
    EXPECT_EQ(plain, "810");
    EXPECT_EQ(m.kernel.traces, std::vector<std::string>{"strSendData:(810)"});

    http.replies = {{kHttpTimeout, ""}};
    EXPECT_FALSE(sendServerRequest(http, m.kernel, keys(), endpoint, endpoint.path, "810", answer));
    EXPECT_EQ(answer, "ANSWER");
    EXPECT_EQ(http.urls.size(), 2u);
}

TEST(ServerRequest, AlternateBasesInOrderWithDomainTraces) {
    fakes::FakeMachine m;
    fakes::ScriptedHttp http;
    http.replies = {{kHttpTimeout, ""}, {kHttpFailed, ""}, {kHttpOk, "THIRD"}};
    DownloadPath endpoint{
        "http://ignored", {"http://a", "http://b", "http://c", "http://d"}, ":1", "/p?data="};
    std::string answer;
    EXPECT_TRUE(sendServerRequest(http, m.kernel, keys(), endpoint, endpoint.path, "810", answer));
    EXPECT_EQ(answer, "THIRD");
    EXPECT_EQ(http.clientsOpened, 1);
    ASSERT_EQ(http.urls.size(), 3u);
    EXPECT_EQ(http.urls[1].substr(0, 17), "http://b:1/p?data");
    EXPECT_EQ(m.kernel.traces, (std::vector<std::string>{
                                   "strSendData:(810)", "domain:(http://a:1/p?data=)",
                                   "domain:(http://b:1/p?data=)", "domain:(http://c:1/p?data=)"}));
    http.replies.clear();
    EXPECT_FALSE(sendServerRequest(http, m.kernel, keys(), endpoint, endpoint.path, "810", answer));
    EXPECT_EQ(http.urls.size(), 7u);
}

}  // namespace
}  // namespace vaultaide
