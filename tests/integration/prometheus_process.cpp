#include "integration/prometheus_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <json/json.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "integration/raw_client.h"

namespace vaultaide::testing {

namespace {

// A port nothing listens on now, for a program that binds it itself.
int freePort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

std::string urlEncoded(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

}  // namespace

double secondsSinceEpoch() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

HttpReply exchangeHttp(int port, const std::string& request) {
    HttpReply reply;
    const std::string received = exchangeRaw(port, request);
    const auto headEnd = received.find("\r\n\r\n");
    if (received.compare(0, 5, "HTTP/") != 0 || headEnd == std::string::npos) return reply;
    reply.status = std::atoi(received.c_str() + received.find(' ') + 1);
    reply.body = received.substr(headEnd + 4);
    return reply;
}

HttpReply getHttp(int port, const std::string& target) {
    return exchangeHttp(port, "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
}

PrometheusProcess::PrometheusProcess(const std::vector<std::string>& targets)
    : targets_(targets.size()) {
    const std::string folder = dir_.path().string();
    std::string list;
    for (const auto& target : targets) list += (list.empty() ? "\"" : ", \"") + target + "\"";
    fakes::writeHostFile(folder + "/prometheus.yml",
                         "global:\n  scrape_interval: 200ms\n  scrape_timeout: 200ms\n"
                         "scrape_configs:\n  - job_name: vaultaide\n    static_configs:\n"
                         "      - targets: [" +
                             list + "]\n");
    // The port is free when chosen; another program may take it first, so a few tries.
    for (int attempt = 0; attempt < 5 && pid_ < 0; ++attempt) {
        port_ = freePort();
        const std::string listen = "--web.listen-address=127.0.0.1:" + std::to_string(port_);
        const std::string config = "--config.file=" + folder + "/prometheus.yml";
        const std::string storage = "--storage.tsdb.path=" + folder + "/data";
        const std::string log = folder + "/prometheus.log";
        const pid_t pid = fork();
        if (pid == 0) {
            const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            dup2(out, 1);
            dup2(out, 2);
            execlp("prometheus", "prometheus", config.c_str(), storage.c_str(), listen.c_str(),
                   "--log.level=warn", static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 400; ++i) {
            if (waitpid(pid, nullptr, WNOHANG) == pid) break;
            if (getHttp(port_, "/-/ready").status == 200) {
                pid_ = pid;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (pid_ < 0 && kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
    }
    if (pid_ < 0)
        throw std::runtime_error("prometheus did not start: " +
                                 fakes::readHostFile(folder + "/prometheus.log"));
}

PrometheusProcess::~PrometheusProcess() {
    kill(pid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

std::map<std::string, double> PrometheusProcess::query(const std::string& expression) const {
    const HttpReply reply = getHttp(port_, "/api/v1/query?query=" + urlEncoded(expression));
    Json::Value answer;
    std::string errors;
    const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
    if (reply.status != 200 ||
        !reader->parse(reply.body.data(), reply.body.data() + reply.body.size(), &answer, &errors))
        throw std::runtime_error("prometheus query " + expression + ": " + reply.body);
    std::map<std::string, double> samples;
    for (const auto& series : answer["data"]["result"]) {
        std::string labels;
        for (const auto& name : series["metric"].getMemberNames()) {
            if (name == "__name__" || name == "job" || name == "instance") continue;
            labels += (labels.empty() ? "" : ",") + name + "=" + series["metric"][name].asString();
        }
        const std::string key =
            series["metric"]["__name__"].asString() + (labels.empty() ? "" : "{" + labels + "}");
        samples[key] = std::stod(series["value"][1].asString());
    }
    return samples;
}

bool PrometheusProcess::waitForScrapeAfter(double since) const {
    for (int i = 0; i < 200; ++i) {
        // timestamp() of a plain selector gives the time of the sample itself: the start of
        // its scrape (of anything else, the time of the query).
        size_t scraped = 0;
        for (const auto& [labels, time] : query("timestamp(up)"))
            if (time >= since) ++scraped;
        if (scraped == targets_ && query("up == 1").size() != targets_) return false;
        if (scraped == targets_) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

}  // namespace vaultaide::testing
