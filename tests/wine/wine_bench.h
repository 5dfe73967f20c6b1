#pragma once
// Runs Windows programs under the run's Wine bench (see tests/wine/bench): its prefix,
// display and locale, with bounded waits only.
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "fakes/fake_platform.h"

namespace vaultaide::wine {

using fakes::readHostFile;
using fakes::writeHostFile;

struct WineRun {
    int exitCode = -1;
    bool timedOut = false;
    std::vector<std::string> traces;  // OutputDebugStringA lines, in order, unescaped
    std::string output;               // everything the program and Wine wrote
};

// The prefix of this test run, named by VAULTAIDE_WINE_PREFIX (by default the first this machine
// runs): "wow64", a 64-bit prefix where the 32-bit program runs as on 64-bit Windows; "win32",
// a 32-bit prefix, as 32-bit Windows; "win64", the x86_64 build in a 64-bit prefix, where the
// machine starts no 32-bit program. Each prefix has its bench folder (see tests/wine/bench).
std::string winePrefix();
bool win32Prefix();
// A 32-bit program on 64-bit Windows.
bool wow64Prefix();
std::string benchDirectory();
// Where the dialogs' screenshots go: one folder per prefix.
std::string screenshotDirectory();

// The program and helpers of the build under test (the shipping 32-bit one where it runs).
std::string windowsProgram(const std::string& name);  // e.g. "vaultaide_810.exe"
std::string stubProgram(const std::string& name);     // e.g. "Nexio_810.exe"

// Runs a program to its end (or kills it after the bound) in the given host folder; each
// "NAME=VALUE" of environment replaces the bench's setting of NAME (LC_ALL, say).
WineRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& workingDirectory,
                   std::chrono::seconds bound = std::chrono::seconds(60),
                   const std::vector<std::string>& environment = {});

// A program running in the background until it ends or the object goes.
class BackgroundProgram {
public:
    BackgroundProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& workingDirectory);
    ~BackgroundProgram();
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;
    // True with the exit code when it ended within the bound.
    bool waitForExit(std::chrono::seconds bound, int& exitCode);

private:
    pid_t pid_ = -1;
};

// Polls a condition every interval until it holds or the bound passes.
bool eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds bound = std::chrono::seconds(30),
                std::chrono::milliseconds interval = std::chrono::milliseconds(50));

// The Windows path of a host path, through Wine's Z: drive.
std::string windowsPathOf(const std::string& host);

// Parses Wine's debug channel output into the traced strings.
std::vector<std::string> parseDebugStrings(const std::string& output);

}  // namespace vaultaide::wine
