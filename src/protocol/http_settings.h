#pragma once
// The fixed settings of every server exchange and download, handed to the transports.
#include "platform/http.h"

namespace vaultaide {

constexpr const char* kServerUserAgent =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727)";
// Downloads announce the application's name: the program's file name without extension, as
// start-up reads it; this until then.
constexpr const char* kDownloadUserAgent = "vaultaide_810";
constexpr unsigned kServerTimeoutMs = 3000;
// Downloads give up on a host that does not connect, or sends nothing, for this long.
constexpr unsigned kDownloadTimeoutMs = 30000;

// Server exchanges: the browser-like agent, the fixed headers in order, three-second time-outs.
const HttpSettings& serverExchangeSettings();
// Downloads: the application's agent, no extra headers, the download time-outs.
const HttpSettings& downloadSettings();
// Start-up sets the downloads' agent before any worker starts.
void setDownloadAgent(const std::string& applicationName);

}  // namespace vaultaide
