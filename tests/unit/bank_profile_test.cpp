#include "app/bank_profile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>

namespace vaultaide {
namespace {

TEST(BankProfile, BuildRowFillsNamesCaptionsAndEndpoint) {
    AppState state;
    DownloadPath endpoint;
    applyBankProfile(state, endpoint);

    EXPECT_EQ(state.bankCode, 2064);
    EXPECT_EQ(state.channelCode, "KORVA");
    EXPECT_EQ(state.mainExeName, "Nexio_810.exe");
    EXPECT_EQ(state.uninstallerName, "uninst_810.exe");
    EXPECT_EQ(state.selfExeName, "vaultaide_810.exe");
    const std::string name = findBankProfile(2064)->displayName;
    EXPECT_EQ(state.windowTitle, name + "网银助手下载器");
    EXPECT_EQ(state.promptCaption, state.windowTitle);
    EXPECT_EQ(state.assistantName, name + "网银助手");
    EXPECT_EQ(state.programGroup, name + "网上银行安全组件\\" + name + "网银助手");
    EXPECT_EQ(std::count(state.programGroup.begin(), state.programGroup.end(), '\\'), 1);
    EXPECT_EQ(endpoint.ip, findBankProfile(2064)->serverUrl);
    EXPECT_TRUE(endpoint.ipList.empty());
    // A Windows Installer product code in braces.
    EXPECT_TRUE(std::regex_match(state.legacyProductId,
                                 std::regex(R"(\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\})")));
    EXPECT_EQ(state.iconId, 181);
    EXPECT_EQ(state.reinstallBackgroundId, 184);
}

TEST(BankProfile, CodeWithoutRowLeavesNameAndServerEmpty) {
    AppState state;
    state.legacyProductId = "stale";
    DownloadPath endpoint;
    applyBankProfile(state, endpoint, 0xA3);
    EXPECT_EQ(state.windowTitle, "网银助手下载器");
    EXPECT_EQ(state.assistantName, "网银助手");
    EXPECT_EQ(state.programGroup, "网上银行安全组件\\网银助手");
    EXPECT_EQ(state.mainExeName, "Nexio_0a3.exe");
    EXPECT_EQ(state.selfExeName, "vaultaide_0a3.exe");
    EXPECT_TRUE(endpoint.ip.empty());
    EXPECT_TRUE(state.legacyProductId.empty());
}

TEST(BankProfile, NameFormatsKeepThreeDigitsBelow0x100) {
    EXPECT_EQ(exeSuffix(0xA3), "_0a3.exe");
    EXPECT_EQ(exeSuffix(2064), "_810.exe");
    EXPECT_EQ(exeSuffix(0xFFFF), "_ffff.exe");
    EXPECT_EQ(hexTag(0xA3), "a3");
    EXPECT_EQ(hexTag3(0xA3), "0a3");
    EXPECT_EQ(hexTag(2064), "810");
    EXPECT_EQ(hexTag3(2064), "810");
}

TEST(BankProfile, AlternateServersAreAppendedInOrder) {
    for (const auto& row : bankTable()) {
        AppState state;
        DownloadPath endpoint;
        applyBankProfile(state, endpoint, row.code);
        if (row.alternateServers.empty()) {
            EXPECT_TRUE(endpoint.ipList.empty()) << row.code;
            continue;
        }
        ASSERT_EQ(endpoint.ipList.size(), 4u) << row.code;
        EXPECT_EQ(endpoint.ipList[0], endpoint.ip);
        for (size_t i = 1; i < 4; ++i)
            EXPECT_TRUE(
                std::regex_match(endpoint.ipList[i], std::regex(R"(https://\d+\.\d+\.\d+\.\d+)")))
                << endpoint.ipList[i];
    }
}

TEST(BankProfile, TableCoversEveryLegacyGroup) {
    ASSERT_NE(findBankProfile(358), nullptr);
    EXPECT_STRNE(findBankProfile(358)->legacyProductId, "");
    ASSERT_NE(findBankProfile(2097), nullptr);
    EXPECT_STRNE(findBankProfile(2097)->legacyProductId, "");
    ASSERT_NE(findBankProfile(2151), nullptr);
    EXPECT_STREQ(findBankProfile(2151)->legacyProductId, "");
    EXPECT_EQ(findBankProfile(4242), nullptr);
    std::set<int32_t> codes;
    for (const auto& row : bankTable()) {
        EXPECT_TRUE(codes.insert(row.code).second) << "duplicate " << row.code;
        EXPECT_EQ(std::string(row.serverUrl).rfind("https://", 0), 0u);
        EXPECT_NE(std::string(row.serverUrl).back(), '/');
    }
}

}  // namespace
}  // namespace vaultaide
