// serverip.dat in the current directory: its lines become the server base, port and path.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/memory_files.h"
#include "protocol/server_endpoint.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vaultaide;
    fuzz::MemoryFile files(kServerIpFileName,
                           std::string(reinterpret_cast<const char*>(data), size));
    DownloadPath endpoint{"http://profile.example", {"http://alternate.example"}, "", ""};
    if (loadServerEndpoint(files, endpoint)) {
        // A field is one line: a line feed in it would end up inside the request line.
        for (const std::string* field : {&endpoint.ip, &endpoint.port, &endpoint.path})
            if (field->find('\n') != std::string::npos) std::abort();
    }
    return 0;
}
