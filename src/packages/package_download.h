#pragma once
// The package download loop: brings the files of one manifest set onto the machine.
#include <cstdint>
#include <string>

#include "app/app_state.h"

namespace vaultaide {

class DownloadSink;
class Files;
class HttpTransport;
class InstallJob;
class Processes;
struct Platform;

// How long a terminated program may take to end before the run goes on without it. Ending a
// process normally takes milliseconds; one that is stuck in a driver call can take much longer
// or never end, and a customer's installer must not hang on it. Ten seconds covers a slow
// machine's normal end with a wide margin.
constexpr uint32_t kTerminateWaitMs = 10000;
constexpr const char* kOldSelfName = "vaultaide_old.exe";
// A package file announced as larger is refused before anything is written.
constexpr uint64_t kMaxPackageFileBytes = 2ull << 30;

// Mode 0: every entry straight into the installation; modes 1 and 2: missing and changed
// entries into the download folder. False when a download failed.
bool downloadPackages(Platform& platform, InstallJob& job, int set,
                      const AppState& state = g_appState);

// Ends every running process of that image name (case ignored) and waits for each one's
// end, at most kTerminateWaitMs.
void terminateAndWait(Processes& processes, const std::string& imageName);
// Moves folder\selfExeName aside to folder\vaultaide_old.exe, so a new copy can be written
// while the old one runs.
void renameOwnProgram(Files& files, const std::string& folder, const std::string& selfExeName);
// Deletes every file below folder and keeps the folders; false when it cannot be listed.
bool emptyFolderTree(Files& files, const std::string& folder);

// One download that counts only when the file's digest equals expectedDigest: it is staged
// beside the target and put in place only then; a mismatch is a failed attempt.
bool downloadVerifiedFile(HttpTransport& http, Files& files, const std::string& url,
                          const std::string& path, const std::string& expectedDigest,
                          DownloadSink* sink);

}  // namespace vaultaide
