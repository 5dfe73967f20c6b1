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

namespace {

HttpSettings& downloadSettingsInUse() {
    static HttpSettings settings{kDownloadUserAgent, {}, kDownloadTimeoutMs};
    return settings;
}

}  // namespace

const HttpSettings& downloadSettings() { return downloadSettingsInUse(); }

void setDownloadAgent(const std::string& applicationName) {
    if (!applicationName.empty()) downloadSettingsInUse().userAgent = applicationName;
}

}  // namespace vaultaide
