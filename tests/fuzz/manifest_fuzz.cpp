// A Digest manifest as the steps read it from disk: loaded in pieces, its entries and the check
// of their names, and the element and attribute searches. Also holds the nesting told before
// parsing against the tree TinyXML builds: equal when the text parses, never less when it does not.
#include <tinyxml.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/utf8.h"
#include "base/xml_nesting.h"
#include "fuzz/memory_files.h"
#include "packages/digest_manifest.h"
#include "packages/entry_names.h"
#include "platform/native/iconv_text_encoding.h"

namespace {

size_t elementDepth(const TiXmlNode* node) {
    size_t deepest = 0;
    for (const TiXmlNode* child = node->FirstChild(); child; child = child->NextSibling())
        if (child->ToElement()) deepest = std::max(deepest, 1 + elementDepth(child));
    return deepest;
}

// Deeper trees are left alone: parsing them is what the told nesting keeps from happening.
constexpr size_t kComparedNesting = 1000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vaultaide;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string path = "C:\\Program Files\\Vault\\Digest.xml";
    fuzz::MemoryFile files(path, text);
    IconvTextEncoding encoding;
    DigestManifest manifest(encoding);
    manifest.loadManifest(files, path);
    const int count = manifest.entryCount();
    for (const FileEntry& entry : manifest.entries()) isSafeEntry(entry.path, entry.fileName);
    manifest.readAttribute("File", "Digest", count + 1);
    manifest.countChildElements("", 1);
    manifest.findElement("Sign", 1);

    if (!isWellFormedUtf8(text)) return 0;
    const size_t told = tinyXmlElementDepth(text);
    if (told > kComparedNesting) return 0;
    TiXmlDocument document;
    document.Parse(text.c_str(), nullptr, TIXML_ENCODING_UTF8);
    const size_t built = elementDepth(&document);
    if (document.Error() ? built > told : built != told) std::abort();
    return 0;
}
