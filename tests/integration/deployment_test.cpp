// A deployment as an operator runs it: nginx in front of two vaultaide-server instances, the
// exchange and a first installation through it over http and https, with the libcurl transport;
// links in the release tree are not followed.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/bank_profile.h"
#include "fakes/fake_platform.h"
#include "fakes/recording_progress_view.h"
#include "integration/nginx_deployment.h"
#include "packages/install_job.h"
#include "packages/package_download.h"
#include "packages/signed_manifests.h"
#include "protocol/built_in_keys.h"
#include "protocol/envelope.h"
#include "protocol/http_settings.h"
#include "protocol/server_answer.h"

namespace vaultaide {
namespace {

namespace fs = std::filesystem;

TEST(Deployment, ExchangeAndFirstInstallationThroughNginxOverHttpAndHttps) {
    fakes::TempDir root, outside;
    testing::publishDeploymentRelease(root.path().string());
    // Links in the tree lead nowhere through the front, to a file or to a folder.
    fakes::writeHostFile((outside.path() / "secret").string(), "secret");
    fs::create_symlink(outside.path() / "secret", root.path() / "releases" / "810" / "linked");
    fs::create_directory_symlink(outside.path(), root.path() / "releases" / "810" / "folder");
    testing::NginxDeployment front(
        R"({"banks": {"810": {"version": "1.0.0.2", "url": "{self}/releases/810", "update": "1"}}})",
        root.path().string());

    for (const std::string& base : {front.httpBase(), front.httpsBase()}) {
        fakes::FakeMachine machine;
        const DownloadPath endpoint{base, {}, "", "/assist/server?reqtype=1&data="};
        std::string answer, plaintext;
        ASSERT_TRUE(sendServerRequest(machine.http, machine.kernel, builtInEnvelopeKeys(), endpoint,
                                      endpoint.path, "810", answer));
        ASSERT_TRUE(openServerAnswer(builtInEnvelopeKeys(), answer, plaintext)) << answer;
        ServerAnswer fields;
        ASSERT_TRUE(readServerAnswer(plaintext, machine.text, fields));
        EXPECT_EQ(fields.url, base + "/releases/810");

        fakes::RecordingProgressView view;
        AppState state;
        DownloadPath ignored;
        applyBankProfile(state, ignored);
        state.progressDialog = &view;
        fs::create_directories(machine.files.hostPath("C:\\Assist"));
        InstallJob job(&view, "KORVA", 0, fields.url, 1, fields.v, "C:\\Assist", 0x810,
                       machine.registry);
        job.unitsTotal = 4;
        ASSERT_TRUE(fetchSignedManifests(machine.platform, job, builtInManifestPublicKey()));
        ASSERT_TRUE(downloadPackages(machine.platform, job, kCommonManifest, state));
        ASSERT_TRUE(downloadPackages(machine.platform, job, kBankManifest, state));
        const auto installed = [&](const std::string& relative) {
            return fakes::readHostFile(machine.files.hostPath("C:\\Assist\\" + relative));
        };
        EXPECT_EQ(installed("Data\\skin.dat"), std::string(300000, 's')) << base;
        EXPECT_EQ(installed("Data\\说明.txt"), "shuoming") << base;
        EXPECT_EQ(installed("Nexio_810.exe"), "main program") << base;
        for (const char* link : {"/linked", "/folder/secret"}) {
            const fs::path target = outside.path() / "fetched";
            CurlTransport http([](const std::string& path) { return path; });
            http.downloadOnce(fields.url + link, target.string(), downloadSettings(), nullptr);
            EXPECT_NE(fakes::readHostFile(target.string()), "secret") << base << link;
        }
    }
    // nginx spread the two version requests over both servers.
    const std::string logs = front.serverLogs();
    size_t answered = 0;
    for (size_t at = 0; (at = logs.find("bank 810 version 1.0.0.2", at)) != std::string::npos; ++at)
        ++answered;
    EXPECT_EQ(answered, 2u) << logs;
}

}  // namespace
}  // namespace vaultaide
