#include "protocol/server_answer.h"

#include <gtest/gtest.h>

#include "platform/native/iconv_text_encoding.h"

namespace vaultaide {
namespace {

IconvTextEncoding gbk;

TEST(ServerAnswer, StringMembersAndDefaults) {
    ServerAnswer a;
    ASSERT_TRUE(readServerAnswer(R"({"v":"1.0.0.2","url":"http://h/r","update":"1"})", gbk, a));
    EXPECT_EQ(a.v, "1.0.0.2");
    EXPECT_EQ(a.url, "http://h/r");
    EXPECT_EQ(a.update, "1");
    ASSERT_TRUE(readServerAnswer(R"({"v":"2","extra":[1,2]})", gbk, a));
    EXPECT_EQ(a.url, "");
    EXPECT_EQ(a.update, "");
    ASSERT_TRUE(readServerAnswer(R"({"v":true,"url":null,"update":2})", gbk, a));
    EXPECT_EQ(a.v, "true");
    EXPECT_EQ(a.url, "");
    EXPECT_EQ(a.update, "2");
}

TEST(ServerAnswer, UnusableAnswersLeaveTheResultAlone) {
    ServerAnswer a{"keep", "keep", "keep"};
    for (const char* text : {"", "not json", "[1,2]", "\"text\"", R"({"v":["1"]})",
                             R"({"v":"1","url":{"a":1}})", R"({"v":"1")"}) {
        EXPECT_FALSE(readServerAnswer(text, gbk, a)) << text;
        EXPECT_EQ(a.v, "keep");
    }
}

TEST(ServerAnswer, EscapesDecodeTheSystemsWay) {
    ServerAnswer a;
    // Raw GBK passes through; an escaped ideograph arrives in the same GBK form.
    ASSERT_TRUE(
        readServerAnswer("{\"v\":\"中\\u4e2d\",\"url\":\"\\u00e9\\ud83d\\ude00\\u0041\"}", gbk, a));
    EXPECT_EQ(a.v, "中中");
    EXPECT_EQ(a.url,
              "\xC3\xA9\xF0\x9F\x98\x80"
              "A");
    // An ideograph whose GBK form ends in a backslash byte, and the escapes JSON keeps.
    ASSERT_TRUE(readServerAnswer(R"({"v":"\u4e57\"\\\n","url":"\ufa0c\ufa2e\u9fa6"})", gbk, a));
    EXPECT_EQ(a.v, "\x81\x5C\"\\\n");
    EXPECT_EQ(a.url, std::string("\xFE\x40") + "\xEF\xA8\xAE" + "\xE9\xBE\xA6");
}

TEST(ServerAnswer, EscapeDecodingTouchesStringsOnly) {
    EXPECT_EQ(decodeJsonEscapes(R"({"a":"\u4e2d"} \u4e2d)", gbk), "{\"a\":\"中\"} \\u4e2d");
    EXPECT_EQ(decodeJsonEscapes(R"("\\u4e2d")", gbk), R"("\\u4e2d")");  // an escaped backslash
    EXPECT_EQ(decodeJsonEscapes(R"("\uZZZZ\u12")", gbk), R"("\uZZZZ\u12")");
}

}  // namespace
}  // namespace vaultaide
