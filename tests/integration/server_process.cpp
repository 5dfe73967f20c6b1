#include "integration/server_process.h"

#include <fcntl.h>
#include <signal.h>
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

ServerProcess::ServerProcess(const std::string& config, const std::string& root) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vaultaide-srv-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    folder_ = pattern;
    std::ofstream(folder_ + "/releases.json") << config;
    const std::string out = folder_ + "/stdout", err = folder_ + "/stderr";
    pid_ = fork();
    if (pid_ == 0) {
        const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(o, 1);
        dup2(e, 2);
        const std::string configPath = folder_ + "/releases.json";
        execl(VAULTAIDE_SERVER_BIN, VAULTAIDE_SERVER_BIN, "--listen", "127.0.0.1:0", "--keys",
              VAULTAIDE_TEST_KEY_DIR, "--config", configPath.c_str(), "--root", root.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    const std::string marker = "listening on http://127.0.0.1:";
    for (int i = 0; i < 200 && port_ == 0; ++i) {
        const std::string text = readAll(out);
        const auto at = text.find(marker);
        if (at != std::string::npos && text.find('\n', at) != std::string::npos)
            port_ = std::atoi(text.c_str() + at + marker.size());
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (port_ == 0) {
        stop();
        throw std::runtime_error("vaultaide-server did not start: " + readAll(err));
    }
}

ServerProcess::~ServerProcess() {
    stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::string ServerProcess::log() const { return readAll(folder_ + "/stderr"); }

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
