#include "integration/server_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace vaultaide::testing {

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace

std::string keyFolder() { return VAULTAIDE_TEST_KEY_DIR; }

int metricsPortIn(const std::string& output) {
    const std::string marker = "metrics on http://127.0.0.1:";
    const auto at = output.find(marker);
    return at == std::string::npos ? 0 : std::atoi(output.c_str() + at + marker.size());
}

namespace {

pid_t startServer(const std::vector<std::string>& options, const std::string& out,
                  const std::string& err, rlim_t openFiles = 0) {
    const pid_t pid = fork();
    if (pid == 0) {
        const rlimit limit{openFiles, openFiles};
        if (openFiles > 0) setrlimit(RLIMIT_NOFILE, &limit);
        const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(o, 1);
        dup2(e, 2);
        std::vector<char*> argv{const_cast<char*>(VAULTAIDE_SERVER_BIN)};
        for (const auto& option : options) argv.push_back(const_cast<char*>(option.c_str()));
        argv.push_back(nullptr);
        execv(VAULTAIDE_SERVER_BIN, argv.data());
        _exit(127);
    }
    return pid;
}

std::string makeFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vaultaide-srv-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    return pattern;
}

}  // namespace

ServerProcess::ServerProcess(const std::string& config, const std::string& root,
                             const std::vector<std::string>& extra, const std::string& keys) {
    folder_ = makeFolder();
    std::ofstream(folder_ + "/releases.json") << config;
    const std::string out = folder_ + "/stdout";
    std::vector<std::string> options = {"--listen", "127.0.0.1:0", "--keys",
                                        keys,       "--config",    folder_ + "/releases.json",
                                        "--root",   root};
    options.insert(options.end(), extra.begin(), extra.end());
    pid_ = startServer(options, out, folder_ + "/stderr");
    const std::string marker = "listening on ";
    for (int i = 0; i < 200 && port_ == 0; ++i) {
        const std::string text = readAll(out);
        const auto at = text.find(marker);
        const auto end = at == std::string::npos ? at : text.find('\n', at);
        if (end != std::string::npos) {
            const std::string address = text.substr(at + marker.size(), end - at - marker.size());
            scheme_ = address.substr(0, address.find(':'));
            port_ = std::atoi(address.c_str() + address.rfind(':') + 1);
        } else if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;  // ended without listening
            break;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    if (port_ == 0) {
        stop();
        throw std::runtime_error("vaultaide-server did not start: " + log());
    }
}

bool ServerProcess::reload(const std::string& config) {
    const size_t before = log().size();
    std::ofstream(folder_ + "/releases.json", std::ios::trunc) << config;
    kill(pid_, SIGHUP);
    for (int i = 0; i < 100; ++i) {
        if (log().find("configuration ", before) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

ServerExit runServerToEnd(const std::vector<std::string>& options, rlim_t openFiles) {
    const std::string folder = makeFolder();
    const pid_t pid = startServer(options, folder + "/stdout", folder + "/stderr", openFiles);
    int status = 0, exitCode = -1;
    bool ended = false;
    for (int i = 0; i < 400 && !ended; ++i) {
        ended = waitpid(pid, &status, WNOHANG) == pid;
        if (ended)
            exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!ended && kill(pid, SIGKILL) == 0) waitpid(pid, &status, 0);
    ServerExit result{exitCode, readAll(folder + "/stderr")};
    std::filesystem::remove_all(folder);
    return result;
}

ServerProcess::~ServerProcess() {
    stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::string ServerProcess::log() const { return readAll(folder_ + "/stderr"); }

int ServerProcess::metricsPort() const { return metricsPortIn(readAll(folder_ + "/stdout")); }

int ServerProcess::stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 200; ++i) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return -1;
}

}  // namespace vaultaide::testing
