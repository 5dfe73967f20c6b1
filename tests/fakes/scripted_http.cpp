#include "fakes/scripted_http.h"

namespace vaultaide::fakes {

namespace {

class ScriptedClient : public HttpClient {
public:
    explicit ScriptedClient(ScriptedHttp& owner) : owner_(owner) {}
    int get(const std::string& url, std::string& answer) override {
        owner_.urls.push_back(url);
        if (owner_.replies.empty()) return kHttpFailed;
        const ScriptedHttp::Reply reply = owner_.replies.front();
        owner_.replies.pop_front();
        if (reply.result == kHttpOk) answer = reply.body;
        return reply.result;
    }

private:
    ScriptedHttp& owner_;
};

}  // namespace

std::unique_ptr<HttpClient> ScriptedHttp::openClient(const HttpSettings& settings) {
    ++clientsOpened;
    clientSettings.push_back(settings);
    return std::make_unique<ScriptedClient>(*this);
}

}  // namespace vaultaide::fakes
