#pragma once
// Recording fakes of the platform boundary for native tests, with real files under a
// temporary root.
#include <filesystem>
#include <functional>
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
    std::string applicationTitle() override { return title; }
    std::string title = "vaultaide_810";
    std::string moduleFileName() override { return modulePath; }
    // A pipe takes a message when a server listens on it (pipes) and is not busy.
    bool writeToPipe(const std::string& pipeName, const std::string& message) override;
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
    std::string modulePath = "C:\\Downloads\\vaultaide_810.exe";
    std::map<std::string, std::vector<std::string>> pipes;  // listening pipes and what came
};

// Programs start when their file exists or they are among the system's own programs;
// a started program ends by itself unless its name is among the overdue ones.
class FakeProcesses : public Processes {
public:
    explicit FakeProcesses(Files& files) : files_(files) {}
    std::vector<ProcessEntry> snapshot() override { return running; }
    bool terminate(uint32_t processId, uint32_t exitCode) override;
    bool terminateAndWait(uint32_t processId, uint32_t exitCode, uint32_t timeoutMs) override;
    bool start(const std::string& file, const std::string& parameters, WindowShow show) override;
    // Through the user's shell when this process is elevated and the shell is reachable: the
    // start is recorded with " as user".
    StartRoute startForUser(const std::string& file, const std::string& parameters,
                            WindowShow show) override;
    RunEnd startAndWait(const std::string& file, const std::string& parameters, WindowShow show,
                        uint32_t timeoutMs) override;
    // A file's signature holds when its bytes are among signedBy, with that signer's name.
    std::unique_ptr<SignedProgram> openSigned(const std::string& file,
                                              const std::string& signerName) override;

    // File contents that carry a valid signature, and the common name that signed each.
    std::map<std::string, std::string> signedBy;
    // One start: "FILE [PARAMETERS] shown|hidden", with " wait BOUND" when it was waited for.
    std::vector<std::string> started;
    std::set<std::string> systemPrograms = {"C:\\Windows\\system32\\msiexec.exe"};
    std::set<std::string> overdue;  // file names whose runs do not end by themselves
    bool elevated = true;           // this process runs elevated, as the program asks
    bool userShell = true;          // the desktop's shell of the session takes starts

    struct Termination {
        uint32_t id;
        uint32_t exitCode;
    };
    std::vector<ProcessEntry> running;
    std::vector<Termination> terminated;
    std::set<uint32_t> protectedIds;   // processes that cannot be opened
    std::set<uint32_t> unending;       // processes that do not end when terminated
    std::vector<uint32_t> waitBounds;  // the bound of every wait, in order
    // Called at each successful start, to act as the started program would.
    std::function<void(const std::string& file, const std::string& parameters)> onStart;

private:
    bool startable(const std::string& file);
    Files& files_;
};

class FakeSystemInfo : public SystemInfo {
public:
    OsVersion osVersion() override { return version; }
    uint16_t processorArchitecture() override { return architecture; }
    std::string systemFolder() override { return "C:\\Windows\\system32"; }
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

// The registry as a map of keys (paths compared ignoring case and with repeated "\" folded into
// one, as Windows does; one map per view; the default view is the 32-bit one, as for the
// shipping program).
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
    void deleteKey(const std::string& path, RegistryView view = RegistryView::View32);

    std::set<std::string> deniedFullAccess;  // key paths that refuse full access

    using Values = std::map<std::string, std::string>;  // lower-case name -> value
    std::map<std::string, Values> keys;                 // "32|path" or "64|path", lower case

private:
    bool refusesFullAccess(const std::string& path, uint32_t access) const;
};

// Special folders under the machine's root, links as files naming their target, and the
// notifications and COM scopes asked for.
class FakeShell : public Shell {
public:
    explicit FakeShell(Files& files) : files_(files) {}
    bool specialFolderPath(SpecialFolder folder, std::string& path) override;
    bool saveLink(const std::string& linkPath, const std::string& targetPath) override;
    void notifyChange(ShellChange change, const std::string& path) override;
    std::unique_ptr<ComScope> initializeCom() override;

    // Where each special folder is; a folder missing here cannot be resolved.
    std::map<SpecialFolder, std::string> folders = {
        {SpecialFolder::CommonDesktop, "C:\\Users\\Public\\Desktop"},
        {SpecialFolder::CommonPrograms, "C:\\ProgramData\\Start Menu\\Programs"},
        {SpecialFolder::AppData, "C:\\Users\\user\\AppData\\Roaming"},
        {SpecialFolder::ProgramFiles, "C:\\Program Files"},
    };
    std::vector<std::string> notifications;  // "created PATH" or "changed PATH"
    int comDepth = 0;                        // scopes open now
    int comScopes = 0;                       // scopes ever opened
    bool linksNeedCom = true;                // links fail outside a COM scope, as on Windows

private:
    Files& files_;
};

// What a fake link file holds: "link to TARGET".
std::string linkTarget(const std::string& linkBytes);

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
    RootedFiles files;
    FakeProcesses processes{files};
    FakeSystemInfo system;
    FakeUiServices ui;
    FakeRegistry registry;
    CurlTransport http;
    IconvTextEncoding text;
    FakeShell shell{files};
    Platform platform;
};

}  // namespace vaultaide::fakes
