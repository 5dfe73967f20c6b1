#pragma once
// The process list and process termination.
#include <cstdint>
#include <string>
#include <vector>

namespace vaultaide {

struct ProcessEntry {
    uint32_t id = 0;
    std::string imageName;  // the executable's file name, as the process list reports it
};

class Processes {
public:
    virtual ~Processes() = default;
    // The running processes, in the order of the system's process list.
    virtual std::vector<ProcessEntry> snapshot() = 0;
    // Opens the process with the terminate right only and ends it with exitCode;
    // false when it cannot be opened or ended.
    virtual bool terminate(uint32_t processId, uint32_t exitCode) = 0;
    // Opens the process with the rights to end it and wait for it, ends it with exitCode and
    // waits up to timeoutMs for its end; false when it cannot be opened or did not end in time.
    virtual bool terminateAndWait(uint32_t processId, uint32_t exitCode, uint32_t timeoutMs) = 0;
};

}  // namespace vaultaide
