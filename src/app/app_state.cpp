#include "app/app_state.h"

namespace vaultaide {

const char* const kBuildRuntimeHost = VAULTAIDE_RUNTIME_HOST;
const char* const kBuildRuntimeSigner = VAULTAIDE_RUNTIME_SIGNER;

AppState g_appState;

}  // namespace vaultaide
