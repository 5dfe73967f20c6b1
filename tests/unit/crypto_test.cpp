#include "protocol/crypto.h"

#include <gtest/gtest.h>
#include <mbedtls/rsa.h>

#include "protocol/built_in_keys.h"

namespace vaultaide {
namespace {

std::string unhex(const std::string& text) {
    std::string bytes;
    EXPECT_TRUE(hexDecode(text, bytes));
    return bytes;
}

TEST(Hex, EncodeUpperDecodeEitherCase) {
    EXPECT_EQ(hexEncode(std::string("\x00\xAB\xFF", 3)), "00ABFF");
    EXPECT_EQ(unhex("00abff"), std::string("\x00\xAB\xFF", 3));
    EXPECT_EQ(unhex("00ABFF"), std::string("\x00\xAB\xFF", 3));
    EXPECT_EQ(hexEncode(""), "");
    std::string untouched = "keep";
    EXPECT_FALSE(hexDecode("ABC", untouched));
    EXPECT_EQ(untouched, "keep");
    // Other characters count as their code minus 48, low eight bits kept: 'g' is 55.
    EXPECT_EQ(unhex("g0"), std::string(1, static_cast<char>((16 * 55) & 0xFF)));
    EXPECT_EQ(unhex("0g"), std::string(1, static_cast<char>(55)));
}

TEST(Hex, SignatureDecodingIsLenient) {
    std::string text(256, '0');
    text.replace(0, 6, "ffFF:?");
    text.replace(250, 6, "zz@@A1");
    const std::string bytes = hexDecodeSignature(text);
    ASSERT_EQ(bytes.size(), 128u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(bytes[2]), 0xAF);  // ":" is 10, "?" is 15
    EXPECT_EQ(static_cast<unsigned char>(bytes[125]), 0x00);
    EXPECT_EQ(static_cast<unsigned char>(bytes[126]), 0x00);
    EXPECT_EQ(static_cast<unsigned char>(bytes[127]), 0xA1);
}

TEST(Sha1, PublishedVectors) {
    EXPECT_EQ(hexEncode(sha1Digest("")), "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709");
    EXPECT_EQ(hexEncode(sha1Digest("abc")), "A9993E364706816ABA3E25717850C26C9CD0D89D");
    EXPECT_EQ(hexEncode(sha1Digest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "84983E441C3BD26EBAAE4AA1F95129E5E54670F1");
    EXPECT_EQ(hexEncode(sha1Digest(std::string(1000000, 'a'))),
              "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F");
}

TEST(Base64Digest, AlwaysTwentyEightCharacters) {
    EXPECT_EQ(base64Digest(sha1Digest("abc")), "qZk+NkcGgWq6PiVxeFDCbJzQ2J0=");
    EXPECT_EQ(base64Digest(sha1Digest("")), "2jmj7l5rSw0yVb/vlWAYkK/YBwk=");
    const std::string high(20, '\xFF');
    EXPECT_EQ(base64Digest(high), "//////////////////////////8=");
}

TEST(TripleDes, PublishedVectorThroughTheFixedIv) {
    // NIST SP 800-67 example: three keys, ECB results of "The qufck brown fox jump". In CBC
    // with our IV, feeding P1 xor IV and then Pk xor C(k-1) gives the same ciphertext blocks.
    const std::string key = unhex("0123456789ABCDEF23456789ABCDEF01456789ABCDEF0123");
    const std::string plain = "The qufck brown fox jump";
    const std::string expected = unhex("A826FD8CE53B855FCCE21C8112256FE668D5C05DD9B6B900");
    std::string chained = plain;
    const std::string iv = "31415926";
    for (int i = 0; i < 8; ++i) chained[i] = static_cast<char>(plain[i] ^ iv[i]);
    for (int i = 8; i < 24; ++i) chained[i] = static_cast<char>(plain[i] ^ expected[i - 8]);
    const std::string ciphertext = tripleDesCbcEncrypt(key, chained);
    ASSERT_EQ(ciphertext.size(), 32u);  // a whole block of padding follows
    EXPECT_EQ(hexEncode(ciphertext.substr(0, 24)), hexEncode(expected));
    std::string back;
    ASSERT_TRUE(tripleDesCbcDecrypt(key, ciphertext, back));
    EXPECT_EQ(back, chained);
}

TEST(TripleDes, PaddingLengthsAndTolerantUnpadding) {
    const std::string key = makeMessageKey();
    EXPECT_EQ(tripleDesCbcEncrypt(key, std::string(16, 'a')).size(), 24u);
    EXPECT_EQ(tripleDesCbcEncrypt(key, std::string(17, 'a')).size(), 24u);
    EXPECT_EQ(tripleDesCbcEncrypt(key, "").size(), 8u);
    std::string out = "x";
    ASSERT_TRUE(tripleDesCbcDecrypt(key, tripleDesCbcEncrypt(key, ""), out));
    EXPECT_EQ(out, "");
    EXPECT_FALSE(tripleDesCbcDecrypt(key, std::string(12, 'a'), out));

    // Raw blocks encrypted without our padding: only the last byte counts.
    auto rawRoundTrip = [&](const std::string& block) {
        std::string padded = tripleDesCbcEncrypt(key, block);
        padded.resize(block.size());  // drop the padding block: the text ends with block's bytes
        std::string plain;
        EXPECT_TRUE(tripleDesCbcDecrypt(key, padded, plain));
        return plain;
    };
    EXPECT_EQ(rawRoundTrip("abcdefg\x09"), "abcdefg\x09");  // 9 or more keeps every byte
    EXPECT_EQ(rawRoundTrip("abcdefg\x03"), "abcde");        // 3 drops three bytes, unchecked
    EXPECT_EQ(rawRoundTrip(std::string("ab\0defg\x01", 8)), "ab");  // text ends at a zero byte
    EXPECT_EQ(rawRoundTrip(std::string("\x08\x08\x08\x08\x08\x08\x08\x08")), "");
}

TEST(MessageKey, FullRangeRandomBytes) {
    const std::string a = makeMessageKey(), b = makeMessageKey();
    ASSERT_EQ(a.size(), 24u);
    EXPECT_NE(a, b);
    bool above99 = false;
    for (int i = 0; i < 20 && !above99; ++i)
        for (unsigned char c : makeMessageKey()) above99 |= c > 99;
    EXPECT_TRUE(above99);
}

// Raw RSA with the public key on a hand-made block, for block formats our encryption never makes.
std::string rawPublic(const std::string& block) {
    const auto& keys = builtInEnvelopeKeys();
    mbedtls_rsa_context rsa;
    mbedtls_rsa_init(&rsa, MBEDTLS_RSA_PKCS_V15, 0);
    mbedtls_mpi_read_string(&rsa.N, 16, keys.N.c_str());
    mbedtls_mpi_read_string(&rsa.E, 16, keys.E.c_str());
    rsa.len = 128;
    unsigned char out[128];
    EXPECT_EQ(mbedtls_rsa_public(&rsa, reinterpret_cast<const unsigned char*>(block.data()), out),
              0);
    mbedtls_rsa_free(&rsa);
    return std::string(reinterpret_cast<char*>(out), 128);
}

TEST(Rsa, RoundTripAndTheSystemsBlockTolerances) {
    const auto& keys = builtInEnvelopeKeys();
    const std::string key = makeMessageKey();
    std::string encrypted, decrypted;
    ASSERT_EQ(rsaEncryptPublic(keys, key, encrypted), 0);
    ASSERT_EQ(encrypted.size(), 128u);
    ASSERT_EQ(rsaDecryptPrivate(keys, encrypted, 24, decrypted), 0);
    EXPECT_EQ(decrypted, key);
    EXPECT_NE(rsaEncryptPublic(keys, std::string(118, 'x'), encrypted), 0);
    EXPECT_EQ(rsaEncryptPublic(keys, std::string(117, 'x'), encrypted), 0);
    EXPECT_NE(rsaDecryptPrivate(keys, encrypted, 24, decrypted), 0);  // longer than capacity
    EXPECT_EQ(rsaDecryptPrivate(keys, encrypted, 117, decrypted), 0);

    const std::string body = key;
    const std::string type1 =
        std::string("\x00\x01", 2) + std::string(101, '\xFF') + std::string(1, '\0') + body;
    ASSERT_EQ(rsaDecryptPrivate(keys, rawPublic(type1), 24, decrypted), 0);
    EXPECT_EQ(decrypted, body);
    // No minimum padding: an empty padding string is accepted.
    const std::string noPad = std::string("\x00\x02\x00", 3) + std::string(125, 'k');
    ASSERT_EQ(rsaDecryptPrivate(keys, rawPublic(noPad), 125, decrypted), 0);
    EXPECT_EQ(decrypted.size(), 125u);
    const std::string type3 =
        std::string("\x00\x03", 2) + std::string(101, '\x11') + std::string(1, '\0') + body;
    EXPECT_NE(rsaDecryptPrivate(keys, rawPublic(type3), 24, decrypted), 0);
    const std::string noZero = std::string("\x00\x02", 2) + std::string(126, '\x11');
    EXPECT_NE(rsaDecryptPrivate(keys, rawPublic(noZero), 128, decrypted), 0);
    // An input not below the modulus.
    EXPECT_NE(rsaDecryptPrivate(keys, std::string(128, '\xFF'), 24, decrypted), 0);
}

TEST(Rsa, KeyChecksRejectBrokenKeys) {
    EnvelopeKeyPair keys = builtInEnvelopeKeys();
    std::string out;
    EnvelopeKeyPair evenModulus = keys;
    evenModulus.N.back() = '0';
    EXPECT_NE(rsaEncryptPublic(evenModulus, "k", out), 0);
    EnvelopeKeyPair shortModulus = keys;
    shortModulus.N = shortModulus.N.substr(2);  // 1016 bits: not the declared 128 bytes
    EXPECT_NE(rsaEncryptPublic(shortModulus, "k", out), 0);
    ASSERT_EQ(rsaEncryptPublic(keys, "k", out), 0);
    EnvelopeKeyPair wrongPrime = keys;
    wrongPrime.P[5] = wrongPrime.P[5] == '1' ? '3' : '1';
    std::string decrypted;
    EXPECT_NE(rsaDecryptPrivate(wrongPrime, out, 24, decrypted), 0);
}

}  // namespace
}  // namespace vaultaide
