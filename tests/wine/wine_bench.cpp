#include "wine/wine_bench.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace vaultaide::wine {

namespace {

// wine64 starts the 32-bit program too in a 64-bit prefix; a 32-bit prefix needs wine32's.
const char* wineLoader() { return win32Prefix() ? "/usr/lib/wine/wine" : "/usr/lib/wine/wine64"; }

std::vector<std::string> benchEnvironment(bool traceDebugStrings,
                                          const std::vector<std::string>& overrides) {
    const std::string dir = benchDirectory();
    std::string display = readHostFile(dir + "/display");
    if (display.empty()) throw std::runtime_error("the Wine bench is not up: " + dir);
    std::vector<std::string> env = {
        "WINEPREFIX=" + dir + "/prefix",
        std::string("WINEARCH=") + (win32Prefix() ? "win32" : "win64"),
        "LC_ALL=zh_CN.UTF-8",
        "WINEDLLOVERRIDES=winemenubuilder.exe=d;mscoree=d;mshtml=d",
        std::string("WINEDEBUG=") + (traceDebugStrings ? "-all,+debugstr" : "-all"),
        "DISPLAY=:" + display,
        "HOME=" + std::string(getenv("HOME") ? getenv("HOME") : "/root"),
        "PATH=/usr/bin:/bin",
    };
    for (const std::string& setting : overrides) {
        const std::string name = setting.substr(0, setting.find('=') + 1);
        std::replace_if(
            env.begin(), env.end(), [&](const std::string& e) { return e.rfind(name, 0) == 0; },
            setting);
    }
    return env;
}

// Starts the program; its stdout and stderr go to outputFd (or /dev/null when -1).
pid_t spawn(const std::string& program, const std::vector<std::string>& arguments,
            const std::string& workingDirectory, int outputFd, bool traceDebugStrings,
            const std::vector<std::string>& overrides = {}) {
    std::vector<std::string> args = {wineLoader(), program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    const auto env = benchEnvironment(traceDebugStrings, overrides);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    // Own process group, so a bound that ends the run ends everything it started.
    setpgid(0, 0);
    if (chdir(workingDirectory.c_str()) != 0) _exit(126);
    const int out = outputFd >= 0 ? outputFd : open("/dev/null", O_WRONLY);
    const int in = open("/dev/null", O_RDONLY);
    dup2(in, 0);
    dup2(out, 1);
    dup2(out, 2);
    std::vector<char*> argv, envp;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
}

int exitCodeOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return -1;
}

}  // namespace

std::string winePrefix() {
    const char* prefix = getenv("VAULTAIDE_WINE_PREFIX");
    return prefix && *prefix ? prefix : VAULTAIDE_WINE_FIRST_PREFIX;
}

bool win32Prefix() { return winePrefix() == "win32"; }

bool wow64Prefix() { return winePrefix() == "wow64"; }

std::string benchDirectory() {
    return std::string(VAULTAIDE_WINE_DIR) + (win32Prefix() ? "-win32" : "");
}

std::string screenshotDirectory() {
    return std::string(VAULTAIDE_SCREENSHOT_DIR) + (win32Prefix() ? "-win32" : "");
}

std::string windowsProgram(const std::string& name) {
    return std::string(VAULTAIDE_WIN_BUILD_DIR) + "/" + name;
}

std::string stubProgram(const std::string& name) {
    return std::string(VAULTAIDE_WIN_BUILD_DIR) + "/stubs/" + name;
}

WineRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& workingDirectory, std::chrono::seconds bound,
                   const std::vector<std::string>& environment) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe");
    const pid_t pid = spawn(program, arguments, workingDirectory, fds[1], true, environment);
    close(fds[1]);
    WineRun run;
    // Wine may hand the output descriptors on to programs it starts (such as the desktop
    // process), so the end of the run is told by the program's own exit, not by end of file.
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    auto drain = [&] {
        char buffer[4096];
        ssize_t got;
        while ((got = read(fds[0], buffer, sizeof buffer)) > 0)
            run.output.append(buffer, static_cast<size_t>(got));
    };
    const auto deadline = std::chrono::steady_clock::now() + bound;
    int status = 0;
    for (;;) {
        pollfd p = {fds[0], POLLIN, 0};
        poll(&p, 1, 50);
        drain();
        if (waitpid(pid, &status, WNOHANG) == pid) {
            run.exitCode = exitCodeOf(status);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            run.timedOut = true;
            kill(-pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
    }
    drain();
    close(fds[0]);
    run.traces = parseDebugStrings(run.output);
    return run;
}

BackgroundProgram::BackgroundProgram(const std::string& program,
                                     const std::vector<std::string>& arguments,
                                     const std::string& workingDirectory)
    : pid_(spawn(program, arguments, workingDirectory, -1, false)) {}

BackgroundProgram::~BackgroundProgram() {
    if (pid_ > 0) {
        kill(-pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

bool BackgroundProgram::waitForExit(std::chrono::seconds bound, int& exitCode) {
    int status = 0;
    const bool ended =
        eventually([&] { return pid_ > 0 && waitpid(pid_, &status, WNOHANG) == pid_; },
                   std::chrono::duration_cast<std::chrono::milliseconds>(bound));
    if (ended) {
        exitCode = exitCodeOf(status);
        pid_ = -1;
    }
    return ended;
}

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds bound,
                std::chrono::milliseconds interval) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(interval);
    }
}

std::vector<std::string> parseDebugStrings(const std::string& output) {
    // Lines look like: 0158:warn:debugstr:OutputDebugStringA "text with \"escapes\""
    static const std::string marker = ":OutputDebugStringA \"";
    std::vector<std::string> traces;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        const auto at = line.find(marker);
        if (at == std::string::npos || line.find(":debugstr:") == std::string::npos) continue;
        const auto end = line.rfind('"');
        if (end == std::string::npos || end < at + marker.size()) continue;
        const std::string quoted = line.substr(at + marker.size(), end - at - marker.size());
        std::string text;
        for (size_t i = 0; i < quoted.size(); ++i) {
            if (quoted[i] != '\\' || i + 1 == quoted.size()) {
                text += quoted[i];
                continue;
            }
            const char c = quoted[++i];
            if (c == 'n')
                text += '\n';
            else if (c == 'r')
                text += '\r';
            else if (c == 't')
                text += '\t';
            else if (c == 'x' && i + 2 < quoted.size()) {
                text += static_cast<char>(std::stoi(quoted.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else
                text += c;
        }
        traces.push_back(text);
    }
    return traces;
}

std::string windowsPathOf(const std::string& host) {
    std::string path = "Z:" + host;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

}  // namespace vaultaide::wine
