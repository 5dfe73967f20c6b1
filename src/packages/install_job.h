#pragma once
// The state of one install, update or repair run.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "packages/digest_manifest.h"
#include "ui/progress_events.h"

namespace vaultaide {

class ProgressView;
class Registry;

class InstallJob {
public:
    // The registry fallbacks come from "Software\Vellumark\Nexio\" + channelCode, a key other
    // software writes: "ServerURL" when downloadUrl is empty, "Path" when installPath is.
    InstallJob(ProgressView* dialog, const std::string& channelCode, int mode,
               const std::string& downloadUrl, int32_t updateMode, const std::string& serverVersion,
               const std::string& installPath, int32_t bankCode, Registry& registry);

    // Per manifest set (1 to 3): server address, download-folder copy, installed copy.
    const std::string& manifestUrlOf(int set) const { return manifestUrl[set - 1]; }
    const std::string& manifestDownloadPathOf(int set) const {
        return manifestDownloadPath[set - 1];
    }
    const std::string& manifestInstalledPathOf(int set) const {
        return manifestInstalledPath[set - 1];
    }

    // One unit of the run-wide count is done: the overall percentage and position show
    // unitsDone of unitsTotal, then the count moves on.
    void completeUnit();
    // Where the steps report: the dialog's controls, or nowhere when the run has no dialog.
    ProgressEvents& progress() { return *progress_; }

    int32_t updateMode;
    std::string channelCode;
    std::string downloadBase;
    std::string installDir;
    std::string serverVersion;
    int32_t bankCode;
    std::string downloadDir;
    int32_t unitsTotal = 0;
    int32_t unitsDone = 1;
    std::string manifestUrl[3];
    std::string manifestDownloadPath[3];
    std::string manifestInstalledPath[3];
    int mode;
    ProgressView* dialog;
    // Relative paths still to download in updates and repairs, with the digest each must have.
    std::vector<std::string> pendingFiles;
    std::vector<std::string> pendingDigests;
    // False for a pending entry whose name would lead outside the installation.
    std::vector<bool> pendingSafe;
    // What this run put into the download folder and verified, by relative path with the
    // digest it had, in order: an update or repair installs exactly these files and, when they
    // were stored there, the two manifests (whose digests are those of their signed bytes).
    struct VerifiedFile {
        std::string relative;
        std::string digest;
    };
    std::vector<VerifiedFile> verifiedFiles;
    std::string manifestDigest[3];
    // Where this run's signed manifests were stored: the download folder when an update or
    // repair found both installed manifests, else the installation folder.
    bool manifestsInDownloadFolder = false;
    // Every manifest is read once per run.
    ManifestCache manifests;

private:
    std::unique_ptr<ProgressEvents> progress_;
};

// The entries of the set's installed manifest (0 for sets other than 1 to 3).
int countManifestEntries(Files& files, TextEncoding& encoding, InstallJob& job, int set);

// "Software\Vellumark\Nexio\" + channel: the read-only key of the suite.
std::string suiteRegistryKeyPath(const std::string& channelCode);

}  // namespace vaultaide
