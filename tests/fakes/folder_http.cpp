#include "fakes/folder_http.h"

#include <filesystem>

#include "fakes/fake_platform.h"

namespace vaultaide::fakes {

int FolderHttp::downloadOnce(const std::string& url, const std::string& path,
                             const HttpSettings& settings, DownloadSink* sink) {
    urls.push_back(url);
    this->settings.push_back(settings);
    const auto scheme = url.find("://");
    const auto slash = scheme == std::string::npos ? scheme : url.find('/', scheme + 3);
    if (slash == std::string::npos) return kHttpFailed;
    // Served like a static web server: %XX stands for the byte it names.
    std::string served = folder_;
    for (size_t i = slash; i < url.size(); ++i) {
        if (url[i] == '%' && i + 2 < url.size()) {
            served += static_cast<char>(std::stoi(url.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            served += url[i];
        }
    }
    if (!std::filesystem::is_regular_file(served)) return kHttpOk;
    // A length announced beyond the caller's limit fails the attempt before anything is read.
    if (settings.maxBytes != 0 && std::filesystem::file_size(served) > settings.maxBytes)
        return kHttpFailed;
    const std::string bytes = readHostFile(served);
    const std::string target = hostPath_(path);
    if (!std::filesystem::is_directory(std::filesystem::path(target).parent_path()))
        return kHttpFailed;
    writeHostFile(target, bytes);
    if (sink) sink->onProgress(bytes.size(), bytes.size());
    return kHttpOk;
}

}  // namespace vaultaide::fakes
