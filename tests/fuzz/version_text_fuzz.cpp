// The server's version text against the installed one (the input's first line and the rest),
// as the version check compares them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/system_utils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vaultaide;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const auto lineEnd = input.find('\n');
    const std::string server = input.substr(0, lineEnd);
    const std::string installed = lineEnd == std::string::npos ? "" : input.substr(lineEnd + 1);
    uint32_t serverNumbers[4] = {}, installedNumbers[4] = {};
    parseVersionText(server, serverNumbers);
    parseVersionText(installed, installedNumbers);
    // The order of versions must not depend on which side asks.
    if (compareVersions(installedNumbers, serverNumbers) !=
        -compareVersions(serverNumbers, installedNumbers))
        std::abort();
    return 0;
}
