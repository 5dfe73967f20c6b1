#pragma once
// tools/server/deploy/nginx-front brought up for one test or benchmark: nginx in front of two
// vaultaide-server instances on 127.0.0.1, stopped by their process ids with the object.
#include <sys/types.h>

#include <string>

#include "fakes/fake_platform.h"

namespace vaultaide::testing {

class NginxDeployment {
public:
    // config: the release configuration's JSON text; root: the folder of the release trees.
    NginxDeployment(const std::string& config, const std::string& root);
    ~NginxDeployment();
    NginxDeployment(const NginxDeployment&) = delete;
    NginxDeployment& operator=(const NginxDeployment&) = delete;

    const std::string& httpBase() const { return http_; }
    const std::string& httpsBase() const { return https_; }
    // What both update servers logged so far.
    std::string serverLogs() const;
    // Update server n (1 or 2): its process, its port and its metrics listener's port.
    pid_t serverPid(int n) const;
    int serverPort(int n) const;
    int serverMetricsPort(int n) const;
    // nginx's access log: each request with the servers it went to (upstream=A, B).
    std::string accessLog() const;

private:
    fakes::TempDir dir_;
    std::string http_, https_;
};

// Publishes the deployment tests' release into root/releases/810: readme.txt, Data/skin.dat
// (300000 bytes "s"), Data/说明.txt ("shuoming") and the bank's Nexio_810.exe ("main program").
void publishDeploymentRelease(const std::string& root);

}  // namespace vaultaide::testing
