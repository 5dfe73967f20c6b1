#pragma once
// What the server answers: the version endpoint and the release files under the root, for
// the requests the hub has read and screened; and the log line of every answer.
#include <memory>
#include <mutex>
#include <string>

#include "connection_hub.h"
#include "envelope_key.h"
#include "release_config.h"
#include "server_metrics.h"

namespace vaultaide::tools {

class UpdateService : public AnswerSource {
public:
    // rootFd: the open folder of the release trees; scheme: "http" or "https"; metrics: where
    // answers are counted, none when null.
    UpdateService(const ServerEnvelopeKey& key, std::shared_ptr<const ReleaseConfig> config,
                  int rootFd, std::string scheme, ServerMetrics* metrics = nullptr);

    // A configuration read again; requests under way finish with the one they started with.
    void replaceConfig(std::shared_ptr<const ReleaseConfig> config);

    Answer answer(const Screening& request) override;
    void logAnswer(const Screening& request, const std::string& peer, int status, uint64_t bytes,
                   const std::string& note) override;
    void flushLog() override;

private:
    Answer versionAnswer(const Screening& request);
    Answer fileAnswer(const Screening& request);
    void countAnswer(const Screening& request, int status, uint64_t bytes, const std::string& note);

    const ServerEnvelopeKey& key_;
    std::shared_ptr<const ReleaseConfig> config_;
    int rootFd_;
    std::string scheme_;
    ServerMetrics* metrics_;
    std::mutex logMutex_;
};

}  // namespace vaultaide::tools
