#pragma once
// vaultaide-server started on a free port of 127.0.0.1 for one test, stopped with SIGTERM.
#include <sys/resource.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace vaultaide::testing {

// A release configuration for the server's tests: bank 810, version 1.0.0.5, its files under
// "{self}/releases/810", update mode "2".
constexpr const char* kReleaseConfig =
    R"({"banks": {"810": {"version": "1.0.0.5", "url": "{self}/releases/810", "update": "2"}}})";

class ServerProcess {
public:
    // config: the release configuration's JSON text; root: the folder of static files; extra:
    // further options; keys: the key folder.
    ServerProcess(const std::string& config, const std::string& root,
                  const std::vector<std::string>& extra = {},
                  const std::string& keys = VAULTAIDE_TEST_KEY_DIR);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    std::string base() const { return scheme_ + "://127.0.0.1:" + std::to_string(port_); }
    std::string log() const;  // what the server wrote to standard error so far
    // The port of its metrics listener (--metrics-listen), or 0.
    int metricsPort() const;
    // Writes a new configuration and sends SIGHUP; true once the log tells the outcome.
    bool reload(const std::string& config);
    // Sends SIGTERM and waits (bounded); the exit code, or -1.
    int stop();

private:
    std::string folder_;
    pid_t pid_ = -1;
    int port_ = 0;
    std::string scheme_ = "http";
};

std::string keyFolder();

// The port of the line "vaultaide-server metrics on http://127.0.0.1:PORT" in a server's
// standard output, or 0.
int metricsPortIn(const std::string& output);

// Runs vaultaide-server with these options (and, unless 0, this many file descriptors at most)
// until it ends by itself (at most 20 s): its exit code (-1 when it had to be stopped) and what
// it wrote to standard error.
struct ServerExit {
    int exitCode;
    std::string errors;
};
ServerExit runServerToEnd(const std::vector<std::string>& options, rlim_t openFiles = 0);

}  // namespace vaultaide::testing
