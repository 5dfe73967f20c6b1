#pragma once
// Small operations on the operating system shared by several steps.
#include <cstdint>
#include <string>
#include <vector>

namespace vaultaide {

class Files;
class Processes;
class SystemInfo;

constexpr const char* kBrowserImageName = "iexplore.exe";
constexpr uint32_t kTerminatedExitCode = 0xFFFFFFF7;  // -9

// Lower-cases ASCII letters only; the bytes of GBK characters (whose second byte may look like
// a letter) stay as they are: how names that Windows compares without case are folded here.
std::string lowerAscii(std::string text);

// The id of the first process in the list whose image name equals name, ignoring case.
bool findProcessByName(Processes& processes, const std::string& name, uint32_t& processId);
bool findRunningBrowser(Processes& processes, uint32_t& processId);
// Terminates processId, or with 0 the first running browser. Always true.
bool terminateBrowser(Processes& processes, uint32_t processId);
// Terminates the first process of that image name, ignoring case. Always true.
bool terminateProcessByName(Processes& processes, const std::string& name);
// Ends every process of that image name, ignoring case, whatever session it runs in, and
// waits up to waitMs for each to end: a program's file stays in use until its process is
// gone. False when one of them still runs (it could not be opened or did not end).
bool endEveryProcessNamed(Processes& processes, const std::string& name, uint32_t exitCode,
                          uint32_t waitMs);

// False on systems not based on NT or older than NT 5. isWin7or8 tells Windows 6.1/6.2;
// isX86 is set only for x86 (true) and x64 (false) and otherwise left as the caller set it.
bool probeWindowsVersion(SystemInfo& system, bool& isWin7or8, bool& isX86);

// The levels of a directory path as createDirectoryTree walks them.
std::vector<std::string> splitDirectoryPath(const std::string& path);
// Creates every missing level below the first; true when the directory exists at the end.
bool createDirectoryTree(Files& files, const std::string& path);
// True when path is a real folder at the end: a link or junction there, which could name any
// folder, is removed (never what it names) and a folder made in its place.
bool ensureRealFolder(Files& files, const std::string& path);

// Four numbers from a version text; texts of three characters or fewer leave them unchanged.
void parseVersionText(const std::string& text, uint32_t numbers[4]);
// -1, 0 or 1 comparing two parsed versions number by number.
int compareVersions(const uint32_t a[4], const uint32_t b[4]);
// A version text as the server may send it: four dot-separated decimal numbers of 1 to 5
// digits each ("1.0.0.2"), so it fits the registry value and parses the same everywhere.
bool isServerVersionText(const std::string& text);

}  // namespace vaultaide
