#include "fakes/fake_platform.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

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
      platform{kernel, processes, files, system, ui} {
    std::filesystem::create_directories(files.hostPath("C:\\work"));
}

void FakeMachine::writeFile(const std::string& windowsPath, const std::string& bytes) {
    const std::filesystem::path host = files.hostPath(windowsPath);
    std::filesystem::create_directories(host.parent_path());
    std::ofstream(host, std::ios::binary) << bytes;
}

}  // namespace vaultaide::fakes
