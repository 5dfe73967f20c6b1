#include "app/version_query.h"

#include "app/bank_profile.h"
#include "app/system_utils.h"
#include "platform/platform.h"
#include "protocol/envelope.h"
#include "protocol/server_answer.h"

namespace vaultaide {

VersionQueryOutcome queryServerVersion(Platform& platform, const EnvelopeKeyPair& keys,
                                       const DownloadPath& endpoint, AppState& state) {
    std::string answer;
    if (!sendServerRequest(platform.http, platform.kernel, keys, endpoint, endpoint.path,
                           hexTag(state.bankCode), answer) ||
        answer.empty())
        return VersionQueryOutcome::NoAnswer;
    platform.kernel.trace("Data:(" + answer + ")");
    std::string plaintext;
    if (!openServerAnswer(keys, answer, plaintext)) return VersionQueryOutcome::Unusable;
    platform.kernel.trace("Data_D:(" + plaintext + ")");
    ServerAnswer server;
    if (!readServerAnswer(plaintext, platform.text, server)) return VersionQueryOutcome::Unusable;
    // A version that is not four short numbers is no answer: the user may try again.
    if (!isServerVersionText(server.v)) return VersionQueryOutcome::NoAnswer;
    state.serverVersion = server.v;
    state.downloadUrl = server.url;
    return VersionQueryOutcome::Answered;
}

}  // namespace vaultaide
