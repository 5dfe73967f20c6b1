// The update server's release configuration: what it takes and the first fault it names.
#include <gtest/gtest.h>

#include "server/release_config.h"

namespace vaultaide::tools {
namespace {

std::string bank(const std::string& code, const std::string& version, const std::string& url,
                 const std::string& update) {
    return R"({"banks": {")" + code + R"(": {"version": ")" + version + R"(", "url": ")" + url +
           R"(", "update": ")" + update + R"("}}})";
}

TEST(ReleaseConfig, TakesWellFormedBanksAndNamesTheFirstFault) {
    const struct {
        std::string json;
        std::string fault;  // empty: accepted
    } cases[] = {
        {bank("810", "1.0.0.2", "https://dl.example/810", "1"), ""},
        {bank("fff", "10.20.300.12345", "{self}/releases/fff", "0"), ""},
        {bank("1", "0.0.0.0", "http://127.0.0.1:8080", "2"), ""},
        {R"({"banks": {}})", "no banks"},
        {bank("810", "1.0.0.2", "{self}:8080/810", "1"), "\"/\" or nothing after {self}"},
        {bank("810", "1.0.0.2", "{self}.evil.example/810", "1"), "or nothing after {self}"},
        {bank("810", "1.0.0.2", "{self}", "1"), ""},
        {"{\"banks\": {\n\"810\": }", "Line 2, Column 8 Syntax error"},
        {"[]", "the root must be an object with a \"banks\" object"},
        {"\"text\"", "the root must be an object"},
        {R"({"banks": []})", "the root must be an object"},
        {bank("0810", "1.0.0.2", "http://d", "1"), "bank code \"0810\": lower-case hexadecimal"},
        {bank("81A", "1.0.0.2", "http://d", "1"), "bank code \"81A\""},
        {bank("1000", "1.0.0.2", "http://d", "1"), "bank code \"1000\""},
        {bank("810", "1.0.2", "http://d", "1"), "bank 810: \"version\" must be four"},
        {bank("810", "1.0.0.2.", "http://d", "1"), "\"version\" must be four"},
        {bank("810", "1..0.2", "http://d", "1"), "\"version\" must be four"},
        {bank("810", "1.0.0.123456", "http://d", "1"), "\"version\" must be four"},
        {bank("810", "1.0.0.2", "http://d/810/", "1"), "\"url\" must not end with \"/\""},
        {bank("810", "1.0.0.2", "ftp://d/810", "1"), "\"url\" must start with http://"},
        {bank("810", "1.0.0.2", "http:///810", "1"), "\"url\" has no host"},
        {bank("810", "1.0.0.2", "http://d/a b", "1"), "\"url\" holds a space"},
        {bank("810", "1.0.0.2", "http://d", "3"), "\"update\" must be \"0\", \"1\" or \"2\""},
        {R"({"banks": {"810": {"version": "1.0.0.2", "url": "http://d", "update": 1}}})",
         "bank 810: \"update\" must be a string"},
        {R"({"banks": {"810": "1.0.0.2"}})", "bank 810: not an object"},
    };
    for (const auto& c : cases) {
        ReleaseConfig config;
        config.banks["old"] = {};
        std::string error;
        const bool read = parseReleaseConfig(c.json, config, error);
        EXPECT_EQ(read, c.fault.empty()) << c.json << "\n" << error;
        if (!c.fault.empty()) {
            EXPECT_NE(error.find(c.fault), std::string::npos) << c.json << "\n" << error;
            EXPECT_EQ(error.find('\n'), std::string::npos) << error;
            EXPECT_EQ(config.banks.count("old"), 1u);
        }
    }
}

}  // namespace
}  // namespace vaultaide::tools
