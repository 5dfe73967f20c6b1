// vaultaide-server: the reference update server.
//   vaultaide-server --listen 127.0.0.1:18810 --keys DIR --config releases.json --root DIR
//                    [--tls-cert FILE --tls-key FILE] [--request-time SECONDS]
//                    [--max-connections N] [--metrics-listen HOST:PORT]
// Answers GET /assist/server?reqtype=1&data=ENVELOPE with the sealed release of the bank in the
// request and serves the release trees under --root as static files. One log line per request
// on standard error; SIGTERM or SIGINT stop it cleanly, SIGHUP reads the configuration again.
// --metrics-listen opens a second listener for Prometheus (/metrics) and health checks (/healthz).
#include <fcntl.h>
#include <openssl/ssl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <memory>
#include <thread>

#include "../common/key_folder.h"
#include "connection_hub.h"
#include "envelope_key.h"
#include "listen_address.h"
#include "log_text.h"
#include "metrics_listener.h"
#include "release_check.h"
#include "release_config.h"
#include "server_metrics.h"
#include "tls_context.h"
#include "update_service.h"

namespace {

using namespace vaultaide;

constexpr char kUsage[] =
    "usage: vaultaide-server --listen HOST:PORT --keys DIR --config FILE --root DIR\n"
    "                        [--tls-cert FILE --tls-key FILE]\n"
    "                        [--request-time SECONDS] [--max-connections N]\n"
    "                        [--metrics-listen HOST:PORT]\n"
    "       (PORT 0 picks a free port; the chosen address is printed on stdout)\n"
    "SIGHUP reads the configuration, the certificate and the key again; SIGTERM stops.\n";

int usage() {
    std::cerr << kUsage;
    return 2;
}

// A whole number from 1 to limit given for option, or 0.
int countOption(const std::map<std::string, std::string>& options, const char* option, int fallback,
                int limit) {
    const auto found = options.find(option);
    if (found == options.end()) return fallback;
    const std::string& text = found->second;
    if (text.empty() || text.size() > 6 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    const int value = std::stoi(text);
    return value <= limit ? value : 0;
}

// Connections and the files they receive are file descriptors: allow as many as the system
// lets this process have, and say so at start when that is too few for the connection limit.
bool raiseOpenFileLimit(uint64_t needed, std::string& error) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return true;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= needed) return true;
    error = "--max-connections needs up to " + std::to_string(needed) +
            " file descriptors, the limit (ulimit -n) is " + std::to_string(limit.rlim_cur) +
            ": raise it or lower --max-connections";
    return false;
}

// One write, so the line does not mix with the request log of the event threads.
void say(const std::string& message) {
    std::cerr << tools::logTime() + " vaultaide-server: " + message + "\n";
}

std::string urlHost(const std::string& host) {
    return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

int fail(const std::string& message) {
    say(message);
    return 1;
}

// What an operator should hear of before the first client comes: keys made for tests, and a
// private key others can read.
void warnAboutKeys(const std::string& folder) {
    struct stat info {};
    if (stat((folder + "/TEST-KEYS").c_str(), &info) == 0)
        say("warning: " + folder +
            " is marked TEST-KEYS: its keys were made for tests and are not the bank's");
    const std::string key = folder + "/" + tools::kEnvelopeKeyFile;
    if (stat(key.c_str(), &info) == 0 && (info.st_mode & S_IROTH))
        say("warning: every user can read " + key + " (chmod o-r)");
}

// A configuration read at start or again on SIGHUP, checked against the served trees.
bool loadCheckedConfig(const std::string& path, int rootFd, tools::ReleaseConfig& config,
                       std::string& error) {
    tools::ReleaseConfig read;
    if (!tools::loadReleaseConfig(path, read, error) ||
        !tools::checkServedReleases(read, rootFd, error))
        return false;
    for (const std::string& missing : tools::missingServedManifests(read, rootFd))
        say("warning: " + missing);
    config = std::move(read);
    return true;
}

struct TlsFree {
    void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};
using TlsContext = std::unique_ptr<SSL_CTX, TlsFree>;

// A renewed certificate is taken without a restart; a pair that does not load leaves the one
// in use.
void reloadTls(tools::ConnectionHub& hub, TlsContext& tls, const std::string& certificate,
               const std::string& key) {
    std::string why;
    SSL_CTX* renewed = tools::makeTlsContext(certificate, key, why);
    if (!renewed) {
        say("TLS certificate and key kept; " + why);
        return;
    }
    // The hub hands back the context tls holds, once no new connection can take it.
    static_cast<void>(tls.release());
    SSL_CTX_free(hub.replaceTls(renewed));
    tls.reset(renewed);
    say("TLS certificate and key read again");
}

}  // namespace

int main(int argc, char** argv) {
    static const char* const known[] = {
        "--listen",  "--keys",         "--config",          "--root",          "--tls-cert",
        "--tls-key", "--request-time", "--max-connections", "--metrics-listen"};
    std::map<std::string, std::string> options;
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    for (int i = 1; i < argc; i += 2) {
        if (i + 1 >= argc ||
            std::find(std::begin(known), std::end(known), std::string(argv[i])) == std::end(known))
            return usage();
        options[argv[i]] = argv[i + 1];
    }
    for (const char* required : {"--listen", "--keys", "--config", "--root"})
        if (!options.count(required)) return usage();
    if (options.count("--tls-cert") != options.count("--tls-key"))
        return fail("--tls-cert and --tls-key go together");
    tools::HubLimits limits;
    const int requestTime = countOption(options, "--request-time", 10, 3600);
    const int maxConnections = countOption(options, "--max-connections", 512, 100000);
    if (requestTime == 0 || maxConnections == 0)
        return fail("--request-time takes 1 to 3600 seconds, --max-connections 1 to 100000");
    limits.headTime = std::chrono::seconds(requestTime);
    limits.sendTime = std::chrono::seconds(requestTime);
    limits.maxConnections = static_cast<size_t>(maxConnections);
    limits.threads = std::max(1u, std::thread::hardware_concurrency());

    std::string error, host, metricsHost;
    int port = 0, metricsPort = 0;
    EnvelopeKeyPair pair;
    tools::ServerEnvelopeKey key;
    tools::ReleaseConfig config;
    if (!tools::parseListenAddress(options["--listen"], host, port, error) ||
        !tools::readEnvelopeKeys(options["--keys"], pair, error) || !key.load(pair, error))
        return fail(error);
    const bool metricsOn = options.count("--metrics-listen") > 0;
    if (metricsOn) {
        if (!tools::parseListenAddress(options["--metrics-listen"], metricsHost, metricsPort, error,
                                       "--metrics-listen"))
            return fail(error);
        if (metricsPort != 0 && metricsPort == port)
            return fail("--metrics-listen needs a port of its own, not the one of --listen");
    }
    const int rootFd = open(options["--root"].c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0) return fail("no folder " + options["--root"]);
    if (!loadCheckedConfig(options["--config"], rootFd, config, error)) return fail(error);
    TlsContext tls;
    if (options.count("--tls-cert")) {
        tls.reset(tools::makeTlsContext(options["--tls-cert"], options["--tls-key"], error));
        if (!tls) return fail(error);
    }
    warnAboutKeys(options["--keys"]);
    if (!raiseOpenFileLimit(tools::descriptorsNeeded(limits.maxConnections, limits.threads), error))
        return fail(error);

    // Signals are taken by one thread; the others never see them.
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, signal);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    const std::string scheme = tls ? "https" : "http";
    // Without --metrics-listen nothing is counted.
    std::unique_ptr<tools::ServerMetrics> metrics;
    if (metricsOn) metrics = std::make_unique<tools::ServerMetrics>();
    const auto loaded = std::make_shared<tools::ReleaseConfig>(config);
    if (metrics) metrics->configLoaded(loaded);
    tools::UpdateService service(key, loaded, rootFd, scheme, metrics.get());
    tools::ConnectionHub hub(limits, tls.get(), service, metrics.get());
    const int bound = hub.listen(host, port, error);
    if (bound < 0) return fail(error);
    std::unique_ptr<tools::MetricsListener> metricsListener;
    if (metrics) {
        metrics->setListener(hub.listeningSocket());
        metricsListener = std::make_unique<tools::MetricsListener>(*metrics);
        const int metricsBound = metricsListener->start(metricsHost, metricsPort, error);
        if (metricsBound < 0) return fail(error);
        metricsPort = metricsBound;
    }
    std::cout << "vaultaide-server listening on " << scheme << "://" << urlHost(host) << ":"
              << bound << std::endl;
    if (metrics)
        std::cout << "vaultaide-server metrics on http://" << urlHost(metricsHost) << ":"
                  << metricsPort << std::endl;

    std::thread signalThread([&] {
        for (;;) {
            int signal = 0;
            sigwait(&signals, &signal);
            if (signal != SIGHUP) {
                if (metrics) metrics->stopping();
                break;
            }
            tools::ReleaseConfig reread;
            std::string why;
            if (tls) reloadTls(hub, tls, options["--tls-cert"], options["--tls-key"]);
            if (loadCheckedConfig(options["--config"], rootFd, reread, why)) {
                const auto replaced = std::make_shared<tools::ReleaseConfig>(reread);
                service.replaceConfig(replaced);
                if (metrics) metrics->configLoaded(replaced);
                say("configuration read again");
            } else {
                if (metrics) metrics->configReloadFailed();
                say("configuration kept; " + why);
            }
        }
        hub.stop();
    });
    hub.run();
    signalThread.join();
    // Health checks see 503 until here: the metrics listener closes last.
    if (metricsListener) metricsListener->stop();
    close(rootFd);
    std::cerr << tools::logTime() + " vaultaide-server stopped\n";
    return 0;
}
