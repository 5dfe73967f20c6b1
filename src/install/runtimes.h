#pragma once
// The platform vendor's runtime libraries the assistant needs: which installers are missing,
// and fetching and starting them quietly.
#include <cstdint>
#include <string>

namespace vaultaide {

struct AppState;
class InstallJob;
struct Platform;

struct RuntimeInstaller {
    const char* fileName;
    const char* markerKey;  // under HKEY_LOCAL_MACHINE; installed when its "Version" reads
    const char* path;       // on the runtime download host
};

// An installer announced as larger is refused before anything is written.
constexpr uint64_t kMaxRuntimeInstallerBytes = 64ull << 20;

const RuntimeInstaller& runtimeX86();
const RuntimeInstaller& runtimeX64();

// needX86 and needX64 become 0 or 1 (the caller sets both to 0 first). False, with both set,
// on Windows that is not NT-based or older than NT 5.
bool checkRuntimes(Platform& platform, int32_t& needX86, int32_t& needX64);
// Downloads each needed installer into a new folder only administrators can change and
// starts it with "/q" without waiting, when its Authenticode signature holds and names
// app.runtimeSigner; a failed download or a refused installer is shown as a failed download
// and counts no unit. Always true.
bool installRuntimes(Platform& platform, const AppState& app, InstallJob& job, int32_t needX86,
                     int32_t needX64);

}  // namespace vaultaide
