#pragma once
// vaultaide-server started on a free port of 127.0.0.1 for one test, stopped with SIGTERM.
#include <sys/types.h>

#include <string>

namespace vaultaide::testing {

class ServerProcess {
public:
    // config: the release configuration's JSON text; root: the folder of static files.
    ServerProcess(const std::string& config, const std::string& root);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    int port() const { return port_; }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::string log() const;  // what the server wrote to standard error so far
    // Sends SIGTERM and waits (bounded); the exit code, or -1.
    int stop();

private:
    std::string folder_;
    pid_t pid_ = -1;
    int port_ = 0;
};

std::string keyFolder();

}  // namespace vaultaide::testing
