#pragma once
// The fixed settings of every server exchange and download.
namespace vaultaide {

constexpr const char* kServerUserAgent =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727)";
// Downloads announce the application's name.
constexpr const char* kDownloadUserAgent = "vaultaide_810";
constexpr const char* kRequestHeaders[] = {
    "Accept: *,*/*",
    "Accept-Language: zh-cn",
    "Content-Type: application/x-www-form-urlencoded",
    "Accept-Encoding: gzip, deflate",
};
constexpr unsigned kServerTimeoutMs = 3000;
// A download is written beside its target under this suffix and renamed when complete.
constexpr const char* kPartialSuffix = ".partial";

}  // namespace vaultaide
