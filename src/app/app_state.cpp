#include "app/app_state.h"

namespace vaultaide {

AppState g_appState;

}  // namespace vaultaide
