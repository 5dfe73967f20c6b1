#pragma once
// The machine a UI scenario works on: the Wine prefix's drive C, the update server with the
// sample release, the program's own registry key and the assistant programs it starts.
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "fakes/fake_platform.h"
#include "integration/raw_http_server.h"
#include "integration/server_process.h"
#include "wine/wine_bench.h"

namespace vaultaide::wine {

// The default installation folder as the program shows and stores it (GBK) and as the host
// sees it (UTF-8): in the 32-bit program's Program Files, "Program Files (x86)" under WoW64.
std::string defaultFolder();
std::string defaultFolderHost();
constexpr const char* kOwnKey = "Software\\\\Vellumark\\Nexio\\KORVA\\810";

// A front for the update server whose answers the test steers by request path ("/810/Data/
// skin.dat", "/assist/server"): passed on to the server, refused (404), held after half of an
// announced megabyte, or kept waiting and passed on once let go.
class ServerFront {
public:
    explicit ServerFront(int serverPort);
    int port() const { return http_.port(); }
    std::string base() const { return http_.base(); }
    void refuse(const std::string& path);
    void holdHalfway(const std::string& path);
    void keepWaiting(const std::string& path);
    // Passes on what waits and what comes later, and closes the connections held so far.
    void letGo();
    bool asked(const std::string& path);

private:
    testing::RawHttpServer::Reply answer(const std::string& head);

    const int serverPort_;
    std::mutex mutex_;
    std::set<std::string> refused_, held_, waiting_, asked_;
    bool letGo_ = false;
    testing::RawHttpServer http_;
};

class UiMachine {
public:
    UiMachine();
    ~UiMachine();

    // Host path of a path on drive C ("Assist/readme.txt").
    std::filesystem::path driveC(const std::string& relative) const;
    const std::filesystem::path& release() const { return release_; }  // releases/810
    std::string work() const { return work_.path().string(); }

    // (Re)starts the update server answering version, update mode and download base
    // ("{self}/810" is the sample release) and points the program at it.
    void serve(const std::string& version, const std::string& update,
               const std::string& url = "{self}/810");
    // What an earlier installation leaves: the release's files in folder (a host path under
    // drive C) and the own key with Version and Path.
    void installed(const std::string& version, const std::string& folderHost,
                   const std::string& folderWindows);

    int serverPort() const { return server_->port(); }
    // Sends the program's version requests to a port of 127.0.0.1 (a front of the server).
    void pointAt(int port);

    std::unique_ptr<BackgroundProgram> start(const std::vector<std::string>& arguments = {});
    WineRun endCommand();  // "-t": ends running downloaders and assistant programs
    std::string registryValue(const std::string& name) const;  // of the own key; "" if none

private:
    fakes::TempDir work_, root_;
    std::filesystem::path release_;
    std::unique_ptr<testing::ServerProcess> server_;
};

}  // namespace vaultaide::wine
