#include "packages/file_digest.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "protocol/crypto.h"

namespace vaultaide {
namespace {

TEST(FileDigest, MatchesOnePassShaAcrossChunkBoundaries) {
    fakes::FakeMachine m;
    for (size_t size : {0u, 1u, 4095u, 4096u, 4097u, 3u * 4096u + 17u}) {
        std::string content(size, '\0');
        for (size_t i = 0; i < size; ++i) content[i] = static_cast<char>(i * 31 + 7);
        m.writeFile("C:\\f.bin", content);
        std::string digest;
        ASSERT_TRUE(fileDigest(m.files, "C:\\f.bin", digest));
        EXPECT_EQ(digest, base64Digest(sha1Digest(content))) << size;
        EXPECT_EQ(digest.size(), 28u);
        EXPECT_FALSE(digestDiffers(m.files, "C:\\f.bin", digest));
    }
    std::string digest;
    ASSERT_TRUE(fileDigest(m.files, "C:\\f.bin", digest));
    m.writeFile("C:\\empty", "");
    ASSERT_TRUE(fileDigest(m.files, "C:\\empty", digest));
    EXPECT_EQ(digest, "2jmj7l5rSw0yVb/vlWAYkK/YBwk=");
}

TEST(FileDigest, MissingFilesAndCaseOfTheExpectedText) {
    fakes::FakeMachine m;
    std::string digest = "kept";
    EXPECT_FALSE(fileDigest(m.files, "C:\\missing", digest));
    EXPECT_EQ(digest, "kept");
    EXPECT_FALSE(fileDigest(m.files, "C:\\work", digest));  // a folder has no digest
    EXPECT_TRUE(digestDiffers(m.files, "C:\\missing", "2jmj7l5rSw0yVb/vlWAYkK/YBwk="));
    EXPECT_FALSE(digestDiffers(m.files, "C:\\missing", ""));
    m.writeFile("C:\\empty", "");
    EXPECT_TRUE(digestDiffers(m.files, "C:\\empty", "2JMJ7L5RSW0YVB/VLWAYKK/YBWK="));
    EXPECT_FALSE(digestDiffers(m.files, "C:\\empty", "2jmj7l5rSw0yVb/vlWAYkK/YBwk="));
}

}  // namespace
}  // namespace vaultaide
