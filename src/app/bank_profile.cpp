#include "app/bank_profile.h"

#include <cstdio>

namespace vaultaide {

const std::vector<BankProfile>& bankTable() {
    // Deployment data. Product codes mark a Windows Installer product of an older assistant;
    // plain names only mark that an older assistant with its own uninstaller may be present.
    static const std::vector<BankProfile> table = {
        {2064,
         "澜州银行",
         "https://assist.lanzhou-bank.example",
         "{5B0E6A13-8C4F-4E2B-9D71-2A6F3C8E1B40}",
         {}},
        {358, "青岚银行", "https://assist.qinglan-bank.example", "VQX EBankingAssistant", {}},
        {2097, "云禾银行", "https://assist.yunhe-bank.example", "WZTB Assistant", {}},
        {2145,
         "苏禾银行",
         "https://assist.suhe-bank.example",
         "VQX EBankingAssistant",
         {"https://assist.suhe-bank.example", "https://203.0.113.21", "https://203.0.113.22",
          "https://203.0.113.23"}},
        {2150, "临川银行", "https://assist.linchuan-bank.example", "VQX EBankingAssistant", {}},
        {2151, "北辰银行", "https://assist.beichen-bank.example", "", {}},
        {2070,
         "东岳银行",
         "https://assist.dongyue-bank.example",
         "{0C7A2D55-3E19-4B86-A0F2-7D4C91B35E68}",
         {}},
        {2081,
         "南浔银行",
         "https://assist.nanxun-bank.example",
         "{E2946F0B-5A7D-4C13-8B6E-1F90D3A72C45}",
         {"https://assist.nanxun-bank.example", "https://198.51.100.31", "https://198.51.100.32",
          "https://198.51.100.33"}},
        {2102, "西陵银行", "https://assist.xiling-bank.example", "", {}},
    };
    return table;
}

const BankProfile* findBankProfile(int32_t code) {
    for (const auto& row : bankTable())
        if (row.code == code) return &row;
    return nullptr;
}

namespace {
std::string format(const char* fmt, int32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, fmt, static_cast<unsigned>(value));
    return buffer;
}
}  // namespace

std::string exeSuffix(int32_t bankCode) { return format("_%03x.exe", bankCode); }
std::string hexTag(int32_t bankCode) { return format("%x", bankCode); }
std::string hexTag3(int32_t bankCode) { return format("%03x", bankCode); }

void applyBankProfile(AppState& state, DownloadPath& endpoint, int32_t bankCode) {
    state.legacyProductId.clear();
    state.bankCode = bankCode;
    state.channelCode = kBuildChannelCode;
    const std::string suffix = exeSuffix(state.bankCode);

    std::string displayName;
    if (const BankProfile* row = findBankProfile(state.bankCode)) {
        displayName = row->displayName;
        endpoint.ip = row->serverUrl;
        endpoint.ipList.insert(endpoint.ipList.end(), row->alternateServers.begin(),
                               row->alternateServers.end());
        if (*row->legacyProductId) state.legacyProductId = row->legacyProductId;
    }

    state.uninstallerName = "uninst" + suffix;
    state.mainExeName = "Nexio" + suffix;
    state.selfExeName = "vaultaide" + suffix;
    state.iconId = 181;
    state.queryBackgroundId = 174;
    state.welcomeBackgroundId = 175;
    state.optionsBackgroundId = 176;
    state.progressBackgroundId = 177;
    state.progressBackgroundAltId = 178;
    state.updateBackgroundId = 180;
    state.reinstallBackgroundId = 184;
    state.windowTitle = displayName + "网银助手下载器";
    state.promptCaption = displayName + "网银助手下载器";
    state.assistantName = displayName + "网银助手";
    state.programGroup = displayName + "网上银行安全组件\\" + displayName + "网银助手";
}

}  // namespace vaultaide
