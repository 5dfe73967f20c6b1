// Throughput of the envelope (seal and open per second) and of vaultaide-server's version
// endpoint over loopback (requests per second with several clients).
#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>
#include <vector>

#include "fakes/fake_platform.h"
#include "integration/server_process.h"
#include "protocol/built_in_keys.h"
#include "protocol/envelope.h"
#include "server/envelope_key.h"
#include "server/version_endpoint.h"

namespace vaultaide {
namespace {

void BM_SealEnvelope(benchmark::State& state) {
    std::string text;
    for (auto _ : state) benchmark::DoNotOptimize(sealEnvelope(builtInEnvelopeKeys(), "810", text));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SealEnvelope);

void BM_OpenEnvelope(benchmark::State& state) {
    std::string text, plain;
    sealEnvelope(builtInEnvelopeKeys(), R"({"v":"1.0.0.5","url":"http://h/r","update":"1"})", text);
    for (auto _ : state) benchmark::DoNotOptimize(openEnvelope(builtInEnvelopeKeys(), text, plain));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OpenEnvelope);

// The server's open: the private-key step with OpenSSL and a key built once.
void BM_ServerOpenEnvelope(benchmark::State& state) {
    tools::ServerEnvelopeKey key;
    std::string error, text, plain;
    key.load(builtInEnvelopeKeys(), error);
    sealEnvelope(builtInEnvelopeKeys(), "810", text);
    for (auto _ : state) benchmark::DoNotOptimize(openEnvelope(key.decryptor(), text, plain));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ServerOpenEnvelope);

// What the server computes for one version request: open, look up, seal the answer.
void BM_ServerAnswer(benchmark::State& state) {
    tools::ServerEnvelopeKey key;
    std::string error, text;
    key.load(builtInEnvelopeKeys(), error);
    tools::ReleaseConfig config;
    tools::parseReleaseConfig(
        R"({"banks": {"810": {"version": "1.0.0.5", "url": "{self}/r", "update": "1"}}})", config,
        error);
    sealEnvelope(builtInEnvelopeKeys(), "810", text);
    // Argument 1: the answer sealed once and kept, as the server does.
    tools::SealedAnswers sealed;
    tools::SealedAnswers* kept = state.range(0) ? &sealed : nullptr;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            tools::answerVersionRequest(key, config, text, "http://127.0.0.1:1", kept));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ServerAnswer)->Arg(0)->Arg(1);

// Each iteration: every client thread sends 20 sealed requests and opens the answers.
void BM_ServerVersionRequests(benchmark::State& state) {
    fakes::TempDir root;
    testing::ServerProcess server(
        R"({"banks": {"810": {"version": "1.0.0.5", "url": "{self}/r", "update": "1"}}})",
        root.path().string());
    const DownloadPath endpoint{server.base(), {}, "", "/assist/server?reqtype=1&data="};
    const int clients = static_cast<int>(state.range(0));
    std::atomic<long> answered{0};
    for (auto _ : state) {
        std::vector<std::thread> threads;
        for (int c = 0; c < clients; ++c)
            threads.emplace_back([&] {
                CurlTransport http([](const std::string& p) { return p; });
                fakes::FakeKernel kernel;
                for (int i = 0; i < 20; ++i) {
                    std::string answer, plain;
                    if (sendServerRequest(http, kernel, builtInEnvelopeKeys(), endpoint,
                                          endpoint.path, "810", answer) &&
                        openServerAnswer(builtInEnvelopeKeys(), answer, plain))
                        ++answered;
                }
            });
        for (auto& t : threads) t.join();
    }
    state.SetItemsProcessed(answered.load());
    state.counters["requests_per_second"] =
        benchmark::Counter(static_cast<double>(answered.load()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ServerVersionRequests)
    ->Arg(1)
    ->Arg(4)
    ->Arg(16)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vaultaide

BENCHMARK_MAIN();
