#pragma once
// Debian's prometheus started on 127.0.0.1 for one test, scraping given targets at a short
// interval, and read back through its HTTP query API; plain HTTP/1.0 exchanges for the rest.
#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "fakes/fake_platform.h"

namespace vaultaide::testing {

struct HttpReply {
    int status = 0;  // 0: no answer
    std::string body;
};

// Sends request (a whole request head) to 127.0.0.1:port and reads the answer until the server
// closes, at most 5 s.
HttpReply exchangeHttp(int port, const std::string& request);
HttpReply getHttp(int port, const std::string& target);

class PrometheusProcess {
public:
    // targets: "127.0.0.1:PORT" of metrics listeners, scraped every 200 ms.
    explicit PrometheusProcess(const std::vector<std::string>& targets);
    ~PrometheusProcess();
    PrometheusProcess(const PrometheusProcess&) = delete;
    PrometheusProcess& operator=(const PrometheusProcess&) = delete;

    // An instant query: the value of each series by its name and labels but job and instance,
    // as in "vaultaide_version_requests_total{bank=810,result=answered}".
    std::map<std::string, double> query(const std::string& expression) const;
    // Waits (at most 20 s) for a scrape of every target that began at or after since (seconds
    // since the epoch); false when none came.
    bool waitForScrapeAfter(double since) const;

private:
    fakes::TempDir dir_;
    pid_t pid_ = -1;
    int port_ = 0;
    size_t targets_;
};

double secondsSinceEpoch();

}  // namespace vaultaide::testing
