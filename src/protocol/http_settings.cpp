#include "protocol/http_settings.h"

namespace vaultaide {

const HttpSettings& serverExchangeSettings() {
    static const HttpSettings settings{kServerUserAgent,
                                       {
                                           "Accept: *,*/*",
                                           "Accept-Language: zh-cn",
                                           "Content-Type: application/x-www-form-urlencoded",
                                           "Accept-Encoding: gzip, deflate",
                                       },
                                       kServerTimeoutMs};
    return settings;
}

const HttpSettings& downloadSettings() {
    static const HttpSettings settings{kDownloadUserAgent, {}, 0};
    return settings;
}

}  // namespace vaultaide
