// A Digest manifest as the steps read it from disk: loaded in pieces, its entries, and the
// element and attribute searches.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/memory_files.h"
#include "packages/digest_manifest.h"
#include "platform/native/iconv_text_encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vaultaide;
    const std::string path = "C:\\Program Files\\Vault\\Digest.xml";
    fuzz::MemoryFile files(path, std::string(reinterpret_cast<const char*>(data), size));
    IconvTextEncoding encoding;
    DigestManifest manifest(encoding);
    manifest.loadManifest(files, path);
    const int count = manifest.entryCount();
    manifest.entries();
    manifest.readAttribute("File", "Digest", count + 1);
    manifest.countChildElements("", 1);
    manifest.findElement("Sign", 1);
    return 0;
}
