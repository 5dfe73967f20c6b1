#pragma once
// What the server answers: the version endpoint and the release files under the root, parsed
// and written by cpp-httplib on the connections the hub hands over, one request at a time.
#include <httplib.h>

#include <memory>
#include <mutex>
#include <string>

#include "connection_hub.h"
#include "envelope_key.h"
#include "release_config.h"
#include "server_metrics.h"

namespace vaultaide::tools {

class UpdateService : public httplib::Server {
public:
    // rootFd: the open folder of the release trees; scheme: "http" or "https"; metrics: where
    // answers are counted, none when null.
    UpdateService(const ServerEnvelopeKey& key, std::shared_ptr<const ReleaseConfig> config,
                  int rootFd, std::string scheme, ServerMetrics* metrics = nullptr);

    // A configuration read again; requests under way finish with the one they started with.
    void replaceConfig(std::shared_ptr<const ReleaseConfig> config);
    // httplib sends bodies from a provider only while it sees a listening socket.
    void setListeningSocket(int fd) { svr_sock_ = fd; }

    // Answers the request whose head the connection holds; true when it may stay open.
    bool answer(Connection& conn);
    // One log line for an answer the hub gave by itself.
    void logRefusal(const Screening& screening, const std::string& peer);

private:
    void route(const httplib::Request& request, httplib::Response& response);
    void serveFile(const httplib::Request& request, httplib::Response& response);
    void logAnswer(const httplib::Request& request, const httplib::Response& response);
    // fileBytes: what a file transfer sent; cut: it ended before its last byte.
    void countAnswer(int status, size_t fileBytes, bool cut);
    void writeLogLine(const std::string& peer, const std::string& method, const std::string& target,
                      const std::string& version, int status, size_t bytes,
                      const std::string& note);

    const ServerEnvelopeKey& key_;
    std::shared_ptr<const ReleaseConfig> config_;
    int rootFd_;
    std::string scheme_;
    ServerMetrics* metrics_;
    std::mutex logMutex_;
};

}  // namespace vaultaide::tools
