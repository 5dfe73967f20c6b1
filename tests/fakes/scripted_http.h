#pragma once
// An HTTP transport answering from a script and recording what was asked.
#include <deque>
#include <string>
#include <vector>

#include "platform/http.h"

namespace vaultaide::fakes {

class ScriptedHttp : public HttpTransport {
public:
    struct Reply {
        int result;        // kHttpOk, kHttpFailed or kHttpTimeout
        std::string body;  // the answer when result is kHttpOk
    };
    // Replies in order; when none is left, every exchange fails.
    std::deque<Reply> replies;
    std::vector<std::string> urls;  // every GET, in order
    int clientsOpened = 0;
    std::vector<HttpSettings> clientSettings;  // the settings of every client opened

    std::unique_ptr<HttpClient> openClient(const HttpSettings& settings) override;
    int downloadOnce(const std::string&, const std::string&, const HttpSettings&,
                     DownloadSink*) override {
        return kHttpFailed;
    }
    void removeFromCache(const std::string&) override {}
};

}  // namespace vaultaide::fakes
