#include "packages/install_job.h"

#include "platform/registry.h"
#include "ui/progress_reporter.h"

namespace vaultaide {

namespace {

std::string readFallback(Registry& registry, const std::string& channelCode,
                         const std::string& name) {
    auto key = registry.openKey(suiteRegistryKeyPath(channelCode), kKeyRead);
    std::string value;
    // The value is read into a 260-byte buffer that keeps a terminating zero.
    if (!key || !key->queryString(name, value, kRegistryValueBytes - 1)) return "";
    return value;
}

}  // namespace

void InstallJob::completeUnit() {
    progress().unitDone(unitsDone, unitsTotal);
    ++unitsDone;
}

int countManifestEntries(Files& files, TextEncoding& encoding, InstallJob& job, int set) {
    if (set < kCommonManifest || set > kBankManifest) return 0;
    return static_cast<int>(
        job.manifests.get(files, encoding, job.manifestInstalledPathOf(set)).entries.size());
}

std::string suiteRegistryKeyPath(const std::string& channelCode) {
    return "Software\\Vellumark\\Nexio\\" + channelCode;
}

InstallJob::InstallJob(ProgressView* dialog, const std::string& channelCode, int mode,
                       const std::string& downloadUrl, int32_t updateMode,
                       const std::string& serverVersion, const std::string& installPath,
                       int32_t bankCode, Registry& registry)
    : updateMode(updateMode),
      channelCode(channelCode),
      serverVersion(serverVersion),
      bankCode(bankCode),
      mode(mode),
      dialog(dialog),
      progress_(dialog
                    ? std::unique_ptr<ProgressEvents>(std::make_unique<ProgressReporter>(*dialog))
                    : std::make_unique<NullProgress>()) {
    downloadBase =
        downloadUrl.empty() ? readFallback(registry, channelCode, "ServerURL") : downloadUrl;
    installDir = installPath.empty() ? readFallback(registry, channelCode, "Path") : installPath;
    downloadDir = installDir + "\\DownLoad";
    for (int set = 1; set <= 3; ++set) {
        const std::string name = manifestFileName(set, bankCode);
        manifestUrl[set - 1] = downloadBase + "/" + name;
        manifestDownloadPath[set - 1] = installDir + "\\DownLoad\\" + name;
        manifestInstalledPath[set - 1] = installDir + "\\" + name;
    }
}

}  // namespace vaultaide
