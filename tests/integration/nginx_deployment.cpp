#include "integration/nginx_deployment.h"

#include <cstdlib>
#include <sstream>
#include <stdexcept>

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

}  // namespace vaultaide::testing
