// vaultaide-server: the reference update server.
//   vaultaide-server --listen 127.0.0.1:18810 --keys DIR --config releases.json --root DIR
// Answers GET /assist/server?reqtype=1&data=ENVELOPE with the sealed release of the bank in the
// request and serves the release trees under --root as static files. One log line per request
// on standard error; SIGTERM or SIGINT stop it cleanly.
#include <httplib.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <map>
#include <mutex>
#include <thread>

#include "../common/key_folder.h"
#include "release_config.h"
#include "version_endpoint.h"

namespace {

using namespace vaultaide;

thread_local std::string t_note;  // what the handler wants in the request's log line
std::mutex g_logMutex;

int usage() {
    std::cerr << "usage: vaultaide-server --listen HOST:PORT --keys DIR --config FILE --root DIR\n"
                 "       (PORT 0 picks a free port; the chosen address is printed on stdout)\n";
    return 2;
}

std::string shortened(const std::string& target) {
    return target.size() > 120 ? target.substr(0, 117) + "..." : target;
}

void logRequest(const httplib::Request& request, const httplib::Response& response) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
    std::lock_guard<std::mutex> lock(g_logMutex);
    std::cerr << stamp << ' ' << request.remote_addr << ' ' << request.method << ' '
              << shortened(request.target) << ' ' << request.version << ' ' << response.status
              << ' ' << response.body.size() << (t_note.empty() ? "" : " " + t_note) << std::endl;
    t_note.clear();
}

}  // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> options;
    for (int i = 1; i + 1 < argc; i += 2) options[argv[i]] = argv[i + 1];
    if (argc % 2 == 0 || !options.count("--listen") || !options.count("--keys") ||
        !options.count("--config") || !options.count("--root"))
        return usage();

    std::string error;
    EnvelopeKeyPair keys;
    tools::ReleaseConfig config;
    if (!tools::readEnvelopeKeys(options["--keys"], keys, error) ||
        !tools::loadReleaseConfig(options["--config"], config, error)) {
        std::cerr << "vaultaide-server: " << error << "\n";
        return 1;
    }
    const std::string listen = options["--listen"];
    const auto colon = listen.rfind(':');
    if (colon == std::string::npos) return usage();
    const std::string host = listen.substr(0, colon);
    const int port = std::atoi(listen.c_str() + colon + 1);

    // Signals are taken by one thread, which stops the server; the others never see them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    httplib::Server server;
    if (!server.set_mount_point("/", options["--root"])) {
        std::cerr << "vaultaide-server: no folder " << options["--root"] << "\n";
        return 1;
    }
    server.Get("/assist/server", [&](const httplib::Request& request, httplib::Response& response) {
        const auto answer = tools::answerVersionRequest(
            keys, config, request.get_param_value("data"), request.get_header_value("Host"));
        response.status = answer.status;
        response.set_content(answer.body, "text/plain");
        t_note = answer.note;
    });
    server.set_logger(logRequest);
    // Clients ask for gzip but decode nothing: every body goes out as its bytes.
    server.set_pre_routing_handler([](const httplib::Request& request, httplib::Response&) {
        const_cast<httplib::Request&>(request).headers.erase("Accept-Encoding");
        return httplib::Server::HandlerResponse::Unhandled;
    });

    const int bound = port == 0                         ? server.bind_to_any_port(host)
                      : server.bind_to_port(host, port) ? port
                                                        : -1;
    if (bound <= 0) {
        std::cerr << "vaultaide-server: cannot listen on " << listen << "\n";
        return 1;
    }
    std::cout << "vaultaide-server listening on http://" << host << ":" << bound << std::endl;

    std::thread stopper([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server.stop();
    });
    server.listen_after_bind();
    // listen_after_bind also returns when the server fails; make the stopper end either way.
    kill(getpid(), SIGTERM);
    stopper.join();
    std::cerr << "vaultaide-server stopped" << std::endl;
    return 0;
}
