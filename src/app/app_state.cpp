#include "app/app_state.h"

namespace vaultaide {

const char* const kBuildRuntimeHost = VAULTAIDE_RUNTIME_HOST;

AppState g_appState;

}  // namespace vaultaide
