#pragma once
// The build's bank table and the names derived from a bank code.
#include <cstdint>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "protocol/server_endpoint.h"

namespace vaultaide {

struct BankProfile {
    int32_t code;
    const char* displayName;
    const char* serverUrl;
    const char* legacyProductId;  // "" when the bank has no older assistant to remove
    std::vector<std::string> alternateServers;
};

const std::vector<BankProfile>& bankTable();
// The row of a code, or null when the table has none.
const BankProfile* findBankProfile(int32_t code);

// "_%03x.exe": the per-bank file-name suffix (_810.exe for 2064).
std::string exeSuffix(int32_t bankCode);
// "%x" and "%03x" forms of the bank code.
std::string hexTag(int32_t bankCode);
std::string hexTag3(int32_t bankCode);

// Fills the state and the endpoint defaults from the row of bankCode.
void applyBankProfile(AppState& state = g_appState, DownloadPath& endpoint = g_downloadpath,
                      int32_t bankCode = kBuildBankCode);

}  // namespace vaultaide
