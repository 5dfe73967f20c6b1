#pragma once
// The Win32 implementation of the platform boundary: the product's own.
#include <windows.h>

#include "platform/platform.h"

namespace vaultaide {

// Enables SeTakeOwnershipPrivilege on the token of the given process.
bool enableTakeOwnershipPrivilege(HANDLE process);
// Enables the named privilege on the token of the given process; true when the adjustment
// call succeeded (also for a privilege the account does not hold).
bool enablePrivilege(HANDLE process, const char* name);

class Win32Kernel : public Kernel {
public:
    void trace(const std::string& line) override;
    uint32_t registerMessage(const std::string& name) override;
    void broadcastMessage(uint32_t messageId, uintptr_t wParam, intptr_t lParam) override;
    bool createNamedMutexAlreadyExisted(const std::string& name) override;
    bool enableTakeOwnershipPrivilege() override;
    std::string applicationTitle() override;
    std::string moduleFileName() override;
    bool writeToPipe(const std::string& pipeName, const std::string& message) override;
    void sleepMs(uint32_t ms) override;
    [[noreturn]] void exitProcess(uint32_t code) override;
    [[noreturn]] void exitOrderly(int code) override;
};

// The SW_ value of a window show.
int showCommandOf(WindowShow show);
// True when this process runs with an elevated token (never before Windows Vista).
bool processIsElevated();
// Asks the desktop's shell of this session to start the program; false when there is no such
// shell or it refused.
bool startThroughDesktopShell(const std::string& file, const std::string& parameters,
                              WindowShow show);

class Win32Processes : public Processes {
public:
    std::vector<ProcessEntry> snapshot() override;
    bool terminate(uint32_t processId, uint32_t exitCode) override;
    bool terminateAndWait(uint32_t processId, uint32_t exitCode, uint32_t timeoutMs) override;
    bool start(const std::string& file, const std::string& parameters, WindowShow show) override;
    StartRoute startForUser(const std::string& file, const std::string& parameters,
                            WindowShow show) override;
    std::unique_ptr<SignedProgram> openSigned(const std::string& file,
                                              const std::string& signerName) override;
    RunEnd startAndWait(const std::string& file, const std::string& parameters, WindowShow show,
                        uint32_t timeoutMs) override;
};

class Win32Files : public Files {
public:
    bool isDirectory(const std::string& path) override;
    bool exists(const std::string& path) override;
    bool createDirectory(const std::string& path) override;
    bool createProtectedDirectory(const std::string& path) override;
    bool readFile(const std::string& path, std::string& bytes) override;
    bool readChunks(const std::string& path, size_t chunkSize,
                    const std::function<void(const char*, size_t)>& piece, size_t limit) override;
    bool writeFile(const std::string& path, const std::string& bytes) override;
    bool deleteFile(const std::string& path) override;
    bool moveFile(const std::string& from, const std::string& to, bool replaceExisting) override;
    bool linkFile(const std::string& existing, const std::string& link) override;
    bool copyFile(const std::string& from, const std::string& to, bool overwrite) override;
    bool writeFileDurably(const std::string& path, const std::string& bytes) override;
    bool isLink(const std::string& path) override;
    bool removeLink(const std::string& path) override;
    std::unique_ptr<LockedFile> openLocked(const std::string& path) override;
    bool protectFolder(const std::string& path) override;
    bool othersMayChange(const std::string& path) override;
    bool othersMayReplaceEntries(const std::string& path) override;
    std::unique_ptr<HeldFolders> holdRealFolder(const std::string& path) override;
    std::string tempFolder() override;
    bool createPrivateFolder(std::string& path) override;
    bool listDirectory(const std::string& path, std::vector<Entry>& entries) override;
};

class Win32SystemInfo : public SystemInfo {
public:
    OsVersion osVersion() override;
    uint16_t processorArchitecture() override;
    std::string systemFolder() override;
};

class Win32UiServices : public UiServices {
public:
    void initCommonControls() override;
    int messageBox(const std::string& text, const std::string& caption, unsigned style) override;
};

class Win32Registry : public Registry {
public:
    std::unique_ptr<RegistryKey> openKey(const std::string& path, uint32_t access,
                                         RegistryView view) override;
    std::unique_ptr<RegistryKey> createKey(const std::string& path, uint32_t access,
                                           RegistryView view) override;
};

// WinInet, as the exchange requires it.
class Win32HttpTransport : public HttpTransport {
public:
    std::unique_ptr<HttpClient> openClient(const HttpSettings& settings) override;
    int downloadOnce(const std::string& url, const std::string& path, const HttpSettings& settings,
                     DownloadSink* sink) override;
    void removeFromCache(const std::string& url) override;
};

class Win32TextEncoding : public TextEncoding {
public:
    std::string utf8ToAnsi(const std::string& utf8) override;
    bool utf8ToAnsiExactly(const std::string& utf8, std::string& ansi) override;
};

// Special folders, IShellLinkA links and change notifications.
class Win32Shell : public Shell {
public:
    bool specialFolderPath(SpecialFolder folder, std::string& path) override;
    bool saveLink(const std::string& linkPath, const std::string& targetPath) override;
    void notifyChange(ShellChange change, const std::string& path) override;
    std::unique_ptr<ComScope> initializeCom() override;
};

// One process-wide set of the implementations above.
Platform& win32Platform();

}  // namespace vaultaide
