#include "integration/nginx_deployment.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "integration/server_process.h"
#include "publish/manifest_writer.h"

namespace vaultaide::testing {

NginxDeployment::NginxDeployment(const std::string& config, const std::string& root) {
    const std::string folder = dir_.path().string();
    fakes::writeHostFile(folder + "/releases.json", config);
    const std::string command = std::string(VAULTAIDE_SOURCE_DIR) +
                                "/tools/server/deploy/nginx-front up " + folder + "/front " +
                                VAULTAIDE_SERVER_BIN + " " + VAULTAIDE_TEST_KEY_DIR + " " + folder +
                                "/releases.json " + root + " >" + folder + "/up.out 2>&1";
    const int status = std::system(command.c_str());
    std::istringstream addresses(fakes::readHostFile(folder + "/up.out"));
    addresses >> http_ >> https_;
    if (status != 0 || https_.rfind("https://", 0) != 0)
        throw std::runtime_error("nginx-front did not come up: " +
                                 fakes::readHostFile(folder + "/up.out"));
}

NginxDeployment::~NginxDeployment() {
    const std::string command = std::string(VAULTAIDE_SOURCE_DIR) +
                                "/tools/server/deploy/nginx-front down " + dir_.path().string() +
                                "/front";
    if (std::system(command.c_str()) != 0) return;
}

std::string NginxDeployment::serverLogs() const {
    const std::string front = dir_.path().string() + "/front/";
    return fakes::readHostFile(front + "server-1.log") +
           fakes::readHostFile(front + "server-2.log");
}

pid_t NginxDeployment::serverPid(int n) const {
    return std::atoi(
        fakes::readHostFile(dir_.path().string() + "/front/server-" + std::to_string(n) + ".pid")
            .c_str());
}

int NginxDeployment::serverPort(int n) const {
    const std::string out =
        fakes::readHostFile(dir_.path().string() + "/front/server-" + std::to_string(n) + ".out");
    const std::string marker = "listening on http://127.0.0.1:";
    const auto at = out.find(marker);
    return at == std::string::npos ? 0 : std::atoi(out.c_str() + at + marker.size());
}

int NginxDeployment::serverMetricsPort(int n) const {
    return metricsPortIn(
        fakes::readHostFile(dir_.path().string() + "/front/server-" + std::to_string(n) + ".out"));
}

std::string NginxDeployment::accessLog() const {
    return fakes::readHostFile(dir_.path().string() + "/front/access.log");
}

void publishDeploymentRelease(const std::string& root) {
    namespace fs = std::filesystem;
    fakes::TempDir source;
    for (const auto& [path, content] :
         {std::make_pair("common/readme.txt", std::string("read me")),
          std::make_pair("common/Data/skin.dat", std::string(300000, 's')),
          std::make_pair(u8"common/Data/说明.txt", std::string("shuoming")),
          std::make_pair("bank/Nexio_810.exe", std::string("main program"))}) {
        fs::create_directories((source.path() / path).parent_path());
        fakes::writeHostFile((source.path() / path).string(), content);
    }
    std::string error;
    if (!tools::publishRelease((source.path() / "common").string(),
                               (source.path() / "bank").string(), 0x810, VAULTAIDE_TEST_KEY_DIR,
                               root + "/releases/810", error))
        throw std::runtime_error("publishing failed: " + error);
}

}  // namespace vaultaide::testing
