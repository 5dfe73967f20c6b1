// Two ratios measured in one run:
//  1. digest throughput of fileDigest against sha1sum over the same 1 GiB of files;
//  2. the update comparison (collecting changed files in an update) over a manifest of 10,000
//     entries, with every manifest read once per run against reloading the installed manifest
//     and re-searching the walked one for every entry. The reloading variant is timed on a
//     sample of entries spread over the manifest and scaled to all of them, since running it
//     whole takes minutes.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fakes/fake_platform.h"
#include "packages/digest_manifest.h"
#include "packages/file_digest.h"
#include "packages/install_job.h"
#include "packages/package_download.h"
#include "protocol/crypto.h"

namespace {

using namespace vaultaide;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

void digestThroughput() {
    fakes::FakeMachine m;
    const int files = 8;
    const size_t size = size_t(128) << 20;  // 8 x 128 MiB = 1 GiB
    std::string block(1 << 20, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 2654435761u >> 13);
    for (int f = 0; f < files; ++f) {
        fs::create_directories(m.files.hostPath("C:\\d"));
        std::FILE* out = std::fopen(m.files.hostPath("C:\\d\\f" + std::to_string(f)).c_str(), "wb");
        for (size_t written = 0; written < size; written += block.size())
            std::fwrite(block.data(), 1, block.size(), out);
        std::fclose(out);
    }
    // Warm the page cache for both contenders alike.
    std::system(("cat " + m.files.hostPath("C:\\d") + "/* > /dev/null").c_str());
    auto start = Clock::now();
    std::string digest;
    for (int f = 0; f < files; ++f) fileDigest(m.files, "C:\\d\\f" + std::to_string(f), digest);
    const double ours = seconds(start);
    start = Clock::now();
    std::system(("sha1sum " + m.files.hostPath("C:\\d") + "/* > /dev/null").c_str());
    const double theirs = seconds(start);
    std::printf(
        "digest of 1 GiB: fileDigest %.2f s (%.0f MiB/s), sha1sum %.2f s (%.0f MiB/s); "
        "throughput ratio fileDigest/sha1sum = %.2f\n",
        ours, 1024 / ours, theirs, 1024 / theirs, theirs / ours);
}

std::string manifestText(int entries) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Digest>\r\n<FileInfo>\r\n";
    const std::string digest = base64Digest(sha1Digest("x"));
    for (int i = 0; i < entries; ++i)
        xml += "<File Path=\"Data\" FileName=\"file" + std::to_string(i) + ".dat\" Digest=\"" +
               digest + "\"/>\r\n";
    return xml + "</FileInfo>\r\n</Digest>\r\n";
}

void updateComparison() {
    const int entries = 10000;
    fakes::FakeMachine m;
    const std::string manifest = manifestText(entries);
    m.writeFile("C:\\A\\Digest.xml", manifest);
    m.writeFile("C:\\A\\DownLoad\\Digest.xml", manifest);
    for (int i = 0; i < entries; ++i)
        m.writeFile("C:\\A\\Data\\file" + std::to_string(i) + ".dat", "x");
    AppState state;
    state.bankCode = 0x810;

    InstallJob job(nullptr, "KORVA", 1, "http://unused", 1, "1", "C:\\A", 0x810, m.registry);
    auto start = Clock::now();
    downloadPackages(m.platform, job, kCommonManifest, state);  // mode 1, set 1: collects only
    const double once = seconds(start);

    // As the reader would do it without keeping anything: entry i read by searching for the
    // i-th File element, the installed manifest loaded again for every entry.
    DigestManifest walked(m.text);
    walked.loadManifest(m.files, "C:\\A\\DownLoad\\Digest.xml");
    const int n = walked.entryCount();
    const int sample = 50;
    start = Clock::now();
    for (int s = 0; s < sample; ++s) {
        const int i = 1 + static_cast<int>(static_cast<long>(s) * (n - 1) / (sample - 1));
        const std::string path = walked.readAttribute("File", "Path", i);
        const std::string name = walked.readAttribute("File", "FileName", i);
        const std::string digest = walked.readAttribute("File", "Digest", i);
        const std::string installed = "C:\\A\\" + path + "\\" + name;
        if (m.files.exists(installed) &&
            manifestHasEntry(m.files, m.text, "C:\\A\\Digest.xml", path, name, digest))
            digestDiffers(m.files, installed, digest);
    }
    const double reloading = seconds(start) / sample * n;
    std::printf(
        "update comparison over %d entries (%zu pending): read once %.2f s, reloaded per "
        "entry %.1f s (scaled from %d sampled entries); ratio %.0fx\n",
        entries, job.pendingFiles.size(), once, reloading, sample, reloading / once);
}

}  // namespace

int main() {
    digestThroughput();
    updateComparison();
    return 0;
}
