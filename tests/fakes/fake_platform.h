#pragma once
// Recording fakes of the platform boundary for native tests, with real files under a
// temporary root.
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/startup.h"
#include "platform/native/curl_transport.h"
#include "platform/native/iconv_text_encoding.h"
#include "platform/native/rooted_files.h"
#include "platform/platform.h"

namespace vaultaide::fakes {

// Thrown where the process would end: the code after it never runs.
struct ProcessEnded {
    uint32_t code;
    bool orderly;  // runtime exit (true) or ExitProcess (false)
};

class FakeKernel : public Kernel {
public:
    void trace(const std::string& line) override { traces.push_back(line); }
    uint32_t registerMessage(const std::string& name) override;
    void broadcastMessage(uint32_t messageId, uintptr_t wParam, intptr_t lParam) override {
        broadcasts.push_back({messageId, wParam, lParam});
    }
    bool createNamedMutexAlreadyExisted(const std::string& name) override;
    bool enableTakeOwnershipPrivilege() override {
        ++privilegeRequests;
        return true;
    }
    std::string applicationTitle() override { return "vaultaide_810"; }
    void sleepMs(uint32_t ms) override { sleeps.push_back(ms); }
    [[noreturn]] void exitProcess(uint32_t code) override { throw ProcessEnded{code, false}; }
    [[noreturn]] void exitOrderly(int code) override {
        throw ProcessEnded{static_cast<uint32_t>(code), true};
    }

    struct Broadcast {
        uint32_t messageId;
        uintptr_t wParam;
        intptr_t lParam;
    };
    std::vector<std::string> traces;
    std::vector<Broadcast> broadcasts;
    std::vector<uint32_t> sleeps;
    std::map<std::string, uint32_t> messages;  // registered names
    std::set<std::string> mutexes;             // named mutexes that exist on the machine
    bool failMessageRegistration = false;
    int privilegeRequests = 0;
};

class FakeProcesses : public Processes {
public:
    std::vector<ProcessEntry> snapshot() override { return running; }
    bool terminate(uint32_t processId, uint32_t exitCode) override;
    bool terminateAndWait(uint32_t processId, uint32_t exitCode, uint32_t timeoutMs) override;

    struct Termination {
        uint32_t id;
        uint32_t exitCode;
    };
    std::vector<ProcessEntry> running;
    std::vector<Termination> terminated;
    std::set<uint32_t> protectedIds;   // processes that cannot be opened
    std::set<uint32_t> unending;       // processes that do not end when terminated
    std::vector<uint32_t> waitBounds;  // the bound of every wait, in order
};

class FakeSystemInfo : public SystemInfo {
public:
    OsVersion osVersion() override { return version; }
    uint16_t processorArchitecture() override { return architecture; }
    OsVersion version{true, kPlatformWin32Nt, 6, 1};
    uint16_t architecture = kArchitectureX86;
};

class FakeUiServices : public UiServices {
public:
    void initCommonControls() override { ++commonControlInits; }
    int messageBox(const std::string& text, const std::string& caption, unsigned style) override;

    struct Box {
        std::string text, caption;
        unsigned style;
    };
    std::vector<Box> boxes;
    std::vector<int> answers;  // answers in order; kIdOk or kIdYes when none is left
    int commonControlInits = 0;
};

// The registry as a map of keys (paths compared ignoring case, one map per view; the default
// view is the 32-bit one, as for the shipping program).
class FakeRegistry : public Registry {
public:
    std::unique_ptr<RegistryKey> openKey(const std::string& path, uint32_t access,
                                         RegistryView view) override;
    std::unique_ptr<RegistryKey> createKey(const std::string& path, uint32_t access,
                                           RegistryView view) override;

    // Values of a key by name; empty when the key is missing.
    std::map<std::string, std::string> values(const std::string& path,
                                              RegistryView view = RegistryView::View32) const;
    void setValue(const std::string& path, const std::string& name, const std::string& value,
                  RegistryView view = RegistryView::View32);
    bool hasKey(const std::string& path, RegistryView view = RegistryView::View32) const;

    std::set<std::string> deniedFullAccess;  // key paths (lower case) that refuse full access

    using Values = std::map<std::string, std::string>;  // lower-case name -> value
    std::map<std::string, Values> keys;                 // "32|path" or "64|path", lower case
};

// Records the dialogs start-up and the version check open, in order ("query", "prompt 0",
// "progress 1", ...).
class RecordingStartupUi : public StartupUi {
public:
    void runVersionQueryDialog() override { opened.push_back("query"); }
    void runUpdatePrompt(int variant) override {
        opened.push_back("prompt " + std::to_string(variant));
    }
    void runProgressDialog(int mode) override {
        opened.push_back("progress " + std::to_string(mode));
    }
    std::vector<std::string> opened;
};

// Whole host files, for tests.
std::string readHostFile(const std::string& path);  // empty when missing
void writeHostFile(const std::string& path, const std::string& bytes);

// A temporary folder removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A whole fake machine: C:\ is a fresh temporary folder, the current directory C:\work.
struct FakeMachine {
    FakeMachine();
    // Writes a file by Windows path, creating its folders.
    void writeFile(const std::string& windowsPath, const std::string& bytes);

    TempDir root;
    FakeKernel kernel;
    FakeProcesses processes;
    RootedFiles files;
    FakeSystemInfo system;
    FakeUiServices ui;
    FakeRegistry registry;
    CurlTransport http;
    IconvTextEncoding text;
    Platform platform;
};

}  // namespace vaultaide::fakes
