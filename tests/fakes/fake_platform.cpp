#include "fakes/fake_platform.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vaultaide::fakes {

uint32_t FakeKernel::registerMessage(const std::string& name) {
    if (failMessageRegistration) return 0;
    // Registered message ids live in 0xC000..0xFFFF, one per name.
    auto found = messages.find(name);
    if (found != messages.end()) return found->second;
    const uint32_t id = 0xC000 + static_cast<uint32_t>(messages.size());
    messages[name] = id;
    return id;
}

bool FakeKernel::writeToPipe(const std::string& pipeName, const std::string& message) {
    auto pipe = pipes.find(pipeName);
    if (pipe == pipes.end()) return false;
    pipe->second.push_back(message);
    return true;
}

bool FakeKernel::createNamedMutexAlreadyExisted(const std::string& name) {
    return !mutexes.insert(name).second;
}

bool FakeProcesses::terminate(uint32_t processId, uint32_t exitCode) {
    if (protectedIds.count(processId)) return false;
    auto found = std::find_if(running.begin(), running.end(),
                              [&](const ProcessEntry& e) { return e.id == processId; });
    if (found == running.end()) return false;
    running.erase(found);
    terminated.push_back({processId, exitCode});
    return true;
}

bool FakeProcesses::terminateAndWait(uint32_t processId, uint32_t exitCode, uint32_t timeoutMs) {
    waitBounds.push_back(timeoutMs);
    if (unending.count(processId)) return false;
    return terminate(processId, exitCode);
}

bool FakeProcesses::startable(const std::string& file) {
    return systemPrograms.count(file) > 0 || files_.exists(file);
}

namespace {

std::string startLine(const std::string& file, const std::string& parameters, WindowShow show) {
    const char* shows[] = {"hidden", "shown", "normal"};
    return file + " [" + parameters + "] " + shows[static_cast<int>(show)];
}

std::string fileNameOf(const std::string& path) {
    const auto slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool FakeProcesses::start(const std::string& file, const std::string& parameters, WindowShow show) {
    if (!startable(file)) return false;
    started.push_back(startLine(file, parameters, show));
    if (onStart) onStart(file, parameters);
    return true;
}

StartRoute FakeProcesses::startForUser(const std::string& file, const std::string& parameters,
                                       WindowShow show) {
    const auto throughShell = [&] {
        if (!userShell || !startable(file)) return false;
        started.push_back(startLine(file, parameters, show) + " as user");
        if (onStart) onStart(file, parameters);
        return true;
    };
    return routeUserStart(elevated, throughShell, [&] { return start(file, parameters, show); });
}

RunEnd FakeProcesses::startAndWait(const std::string& file, const std::string& parameters,
                                   WindowShow show, uint32_t timeoutMs) {
    if (!startable(file)) return RunEnd::NotStarted;
    started.push_back(startLine(file, parameters, show) + " wait " + std::to_string(timeoutMs));
    waitBounds.push_back(timeoutMs);
    if (onStart) onStart(file, parameters);
    return overdue.count(fileNameOf(file)) ? RunEnd::Terminated : RunEnd::Ended;
}

namespace {

class FakeSignedProgram : public SignedProgram {
public:
    FakeSignedProgram(FakeProcesses& processes, std::string file)
        : processes_(processes), file_(std::move(file)) {}
    bool start(const std::string& parameters, WindowShow show) override {
        return processes_.start(file_, parameters, show);
    }

private:
    FakeProcesses& processes_;
    std::string file_;
};

}  // namespace

std::unique_ptr<SignedProgram> FakeProcesses::openSigned(const std::string& file,
                                                         const std::string& signerName) {
    std::string bytes;
    if (!files_.readFile(file, bytes)) return nullptr;
    const auto found = signedBy.find(bytes);
    if (found == signedBy.end() || found->second != signerName) return nullptr;
    return std::make_unique<FakeSignedProgram>(*this, file);
}

int FakeUiServices::messageBox(const std::string& text, const std::string& caption,
                               unsigned style) {
    boxes.push_back({text, caption, style});
    if (!answers.empty()) {
        const int answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
    return (style & kMbYesNo) ? kIdYes : kIdOk;
}

namespace {

std::string lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Lower case, with every run of "\" folded into one.
std::string keyName(const std::string& path) {
    std::string folded;
    for (char c : lower(path))
        if (c != '\\' || folded.empty() || folded.back() != '\\') folded += c;
    return folded;
}

std::string storeName(const std::string& path, RegistryView view) {
    return (view == RegistryView::View64 ? "64|" : "32|") + keyName(path);
}

class FakeKey : public RegistryKey {
public:
    explicit FakeKey(FakeRegistry::Values& values) : values_(values) {}
    bool queryString(const std::string& name, std::string& value, size_t maxBytes) override {
        auto found = values_.find(lower(name));
        if (found == values_.end() || found->second.size() > maxBytes) return false;
        value = found->second;
        return true;
    }
    bool setString(const std::string& name, const std::string& value) override {
        values_[lower(name)] = value;
        return true;
    }
    bool deleteValue(const std::string& name) override { return values_.erase(lower(name)) > 0; }
    // The fake's values are durable once set.
    bool flush() override { return true; }

private:
    FakeRegistry::Values& values_;
};

}  // namespace

std::unique_ptr<RegistryKey> FakeRegistry::openKey(const std::string& path, uint32_t access,
                                                   RegistryView view) {
    auto found = keys.find(storeName(path, view));
    if (found == keys.end() || refusesFullAccess(path, access)) return nullptr;
    return std::make_unique<FakeKey>(found->second);
}

bool FakeRegistry::refusesFullAccess(const std::string& path, uint32_t access) const {
    if (access != kKeyAllAccess) return false;
    for (const auto& denied : deniedFullAccess)
        if (keyName(denied) == keyName(path)) return true;
    return false;
}

void FakeRegistry::deleteKey(const std::string& path, RegistryView view) {
    keys.erase(storeName(path, view));
}

std::unique_ptr<RegistryKey> FakeRegistry::createKey(const std::string& path, uint32_t access,
                                                     RegistryView view) {
    if (refusesFullAccess(path, access)) return nullptr;
    return std::make_unique<FakeKey>(keys[storeName(path, view)]);
}

std::map<std::string, std::string> FakeRegistry::values(const std::string& path,
                                                        RegistryView view) const {
    auto found = keys.find(storeName(path, view));
    return found == keys.end() ? Values{} : found->second;
}

void FakeRegistry::setValue(const std::string& path, const std::string& name,
                            const std::string& value, RegistryView view) {
    keys[storeName(path, view)][lower(name)] = value;
}

bool FakeRegistry::hasKey(const std::string& path, RegistryView view) const {
    return keys.count(storeName(path, view)) > 0;
}

bool FakeShell::specialFolderPath(SpecialFolder folder, std::string& path) {
    auto found = folders.find(folder);
    if (found == folders.end()) return false;
    path = found->second;
    return true;
}

bool FakeShell::saveLink(const std::string& linkPath, const std::string& targetPath) {
    if (linksNeedCom && comDepth == 0) return false;
    return files_.writeFile(linkPath, "link to " + targetPath);
}

void FakeShell::notifyChange(ShellChange change, const std::string& path) {
    notifications.push_back((change == ShellChange::FolderCreated ? "created " : "changed ") +
                            path);
}

namespace {

class FakeComScope : public ComScope {
public:
    explicit FakeComScope(int& depth) : depth_(depth) { ++depth_; }
    ~FakeComScope() override { --depth_; }

private:
    int& depth_;
};

}  // namespace

std::unique_ptr<ComScope> FakeShell::initializeCom() {
    ++comScopes;
    return std::make_unique<FakeComScope>(comDepth);
}

std::string linkTarget(const std::string& linkBytes) {
    const std::string prefix = "link to ";
    return linkBytes.compare(0, prefix.size(), prefix) == 0 ? linkBytes.substr(prefix.size())
                                                            : std::string();
}

std::string readHostFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeHostFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vaultaide-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

FakeMachine::FakeMachine()
    : files(root.path().string(), "C:\\work"),
      http([this](const std::string& path) { return files.hostPath(path); }),
      platform{kernel, processes, files, system, ui, registry, http, text, shell} {
    std::filesystem::create_directories(files.hostPath("C:\\work"));
    std::filesystem::create_directories(files.hostPath(files.tempFolder()));
}

void FakeMachine::writeFile(const std::string& windowsPath, const std::string& bytes) {
    const std::filesystem::path host = files.hostPath(windowsPath);
    std::filesystem::create_directories(host.parent_path());
    std::ofstream(host, std::ios::binary) << bytes;
}

}  // namespace vaultaide::fakes
