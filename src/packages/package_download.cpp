#include "packages/package_download.h"

#include "app/bank_profile.h"
#include "app/system_utils.h"
#include "base/gbk_text.h"
#include "packages/entry_names.h"
#include "packages/file_digest.h"
#include "packages/install_job.h"
#include "packages/package_url.h"
#include "platform/platform.h"
#include "protocol/download.h"
#include "protocol/http_settings.h"
#include "ui/bind_callback.h"

namespace vaultaide {

namespace {

std::string relativePath(const FileEntry& entry) {
    return entry.path.empty() ? entry.fileName : entry.path + "\\" + entry.fileName;
}

// The server address of a relative path: folders are separated by "/" on the server.
std::string relativeUrl(const std::string& base, const std::string& relative) {
    return base + "/" + escapeUrlPath(backslashesToSlashes(relative));
}

// A name that would lead outside the installation, or that the ANSI code page cannot hold
// (a Chinese name on a Windows set up for another language), names no file of this machine.
bool usableEntry(Kernel& kernel, const FileEntry& entry) {
    if (!entry.unconvertible.empty()) {
        kernel.trace("name not in the ANSI code page(" + entry.unconvertible + ")");
        return false;
    }
    return isSafeEntry(entry.path, entry.fileName);
}

bool downloadAllNow(Platform& platform, InstallJob& job, const LoadedManifest& walked,
                    const AppState& state) {
    CBindCallback sink(job.progress());
    for (const auto& entry : walked.entries) {
        // An unusable name fails the run, like its download.
        if (!usableEntry(platform.kernel, entry)) {
            job.progress().downloadFailed(entry.fileName, DownloadKind::Package);
            return false;
        }
        if (entry.fileName.find("QuorlePop") != std::string::npos)
            terminateAndWait(platform.processes, entry.fileName);
        std::string destination;
        if (entry.path.empty()) {
            destination = job.installDir + "\\" + entry.fileName;
        } else {
            const std::string folder = job.installDir + "\\" + entry.path;
            // A link in its place would take the file wherever it points.
            if (!ensureRealFolder(platform.files, folder)) {
                job.progress().downloadFailed(entry.fileName, DownloadKind::Package);
                return false;
            }
            destination = folder + "\\" + entry.fileName;
        }
        const std::string url =
            job.downloadBase + escapeUrlPath("/" + entry.path + "/" + entry.fileName);
        job.progress().fileStarted(entry.fileName, job.unitsDone, job.unitsTotal);
        if (entry.fileName == state.selfExeName)
            renameOwnProgram(platform.files, job.installDir, state.selfExeName);
        if (!downloadVerifiedFile(platform.http, platform.files, url, destination, entry.digest,
                                  &sink)) {
            job.progress().downloadFailed(entry.fileName, DownloadKind::Package);
            return false;
        }
        job.completeUnit();
    }
    return true;
}

void collectChanged(Platform& platform, InstallJob& job, const LoadedManifest& walked,
                    const LoadedManifest& reference) {
    for (const auto& entry : walked.entries) {
        // Unusable names are not looked up on the machine; the download step refuses them.
        if (!usableEntry(platform.kernel, entry)) {
            job.pendingFiles.push_back(relativePath(entry));
            job.pendingDigests.push_back(entry.digest);
            job.pendingSafe.push_back(false);
            continue;
        }
        if (entry.fileName.find("QuorlePop") != std::string::npos)
            terminateAndWait(platform.processes, entry.fileName);
        const std::string installed = job.installDir + "\\" + entry.path + "\\" + entry.fileName;
        const bool current = platform.files.exists(installed) &&
                             reference.hasEntry(entry.path, entry.fileName, entry.digest) &&
                             !digestDiffers(platform.files, installed, entry.digest);
        if (current) continue;
        job.pendingFiles.push_back(relativePath(entry));
        job.pendingDigests.push_back(entry.digest);
        job.pendingSafe.push_back(true);
    }
}

bool downloadPending(Platform& platform, InstallJob& job) {
    const int total = static_cast<int>(job.pendingFiles.size());
    if (total == 0) {
        job.progress().nothingToUpdate();
        return true;
    }
    job.progress().pendingCounted(total);
    CBindCallback sink(job.progress());
    bool result = true;
    for (int k = 1; k <= total; ++k) {
        const std::string& relative = job.pendingFiles[static_cast<size_t>(k - 1)];
        job.progress().fileStarted(relative, k, total);
        if (job.pendingSafe[static_cast<size_t>(k - 1)] &&
            downloadVerifiedFile(platform.http, platform.files,
                                 relativeUrl(job.downloadBase, relative),
                                 job.downloadDir + "\\" + relative,
                                 job.pendingDigests[static_cast<size_t>(k - 1)], &sink)) {
            job.verifiedFiles.push_back({relative, job.pendingDigests[static_cast<size_t>(k - 1)]});
            job.progress().unitDone(k, total);
        } else {
            job.progress().downloadFailed(relative, DownloadKind::Package);
            result = false;
        }
    }
    return result;
}

}  // namespace

bool downloadPackages(Platform& platform, InstallJob& job, int set, const AppState& state) {
    // Updates and repairs walk the manifests this run fetched: normally the download-folder
    // copies, but when an installed manifest was missing they were stored as the installed ones.
    const std::string& walkedPath = job.mode != 0 && job.manifestsInDownloadFolder
                                        ? job.manifestDownloadPathOf(set)
                                        : job.manifestInstalledPathOf(set);
    // Copies: the cache may load more manifests while these are in use.
    const LoadedManifest walked = job.manifests.get(platform.files, platform.text, walkedPath);
    terminateAndWait(platform.processes, "Nexio_" + hexTag3(state.bankCode) + ".exe");

    if (job.mode == 0) return downloadAllNow(platform, job, walked, state);

    const LoadedManifest reference =
        job.manifests.get(platform.files, platform.text, job.manifestInstalledPathOf(set));
    collectChanged(platform, job, walked, reference);
    if (job.mode == 1 && set == kCommonManifest) return true;
    return downloadPending(platform, job);
}

void terminateAndWait(Processes& processes, const std::string& imageName) {
    endEveryProcessNamed(processes, imageName, 0, kTerminateWaitMs);
}

void renameOwnProgram(Files& files, const std::string& folder, const std::string& selfExeName) {
    const std::string old = folder + "\\" + kOldSelfName;
    const std::string current = folder + "\\" + selfExeName;
    if (files.exists(old)) files.deleteFile(old);
    if (files.exists(current)) files.moveFile(current, old);
}

bool emptyFolderTree(Files& files, const std::string& folder) {
    std::vector<Files::Entry> entries;
    // A linked folder's files are not ours, whether the link is the folder itself or below it.
    if (files.isLink(folder) || !files.listDirectory(folder, entries)) return false;
    for (const auto& entry : entries) {
        const std::string path = folder + "\\" + entry.name;
        if (!entry.isDirectory)
            files.deleteFile(path);
        else if (entry.name[0] != '.')
            emptyFolderTree(files, path);
    }
    return true;
}

bool downloadVerifiedFile(HttpTransport& http, Files& files, const std::string& url,
                          const std::string& path, const std::string& expectedDigest,
                          DownloadSink* sink) {
    return downloadAccepted(
        http, files, url, path, sink,
        [&](const std::string& staged) {
            std::string digest;
            return fileDigest(files, staged, digest) && digest == expectedDigest;
        },
        kMaxPackageFileBytes);
}

}  // namespace vaultaide
