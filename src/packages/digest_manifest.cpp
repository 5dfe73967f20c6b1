#include "packages/digest_manifest.h"

#include <cstdio>

#include "base/utf8.h"
#include "base/xml_nesting.h"
#include "platform/files.h"
#include "platform/text_encoding.h"

namespace vaultaide {

std::string manifestFileName(int set, int32_t bankCode) {
    if (set == kCommonManifest) return "Digest.xml";
    if (set == kUnusedManifest) return "Digest_n.xml";
    if (set != kBankManifest) return "";
    char name[15];
    std::snprintf(name, sizeof name, "Digest_%.3x.xml", static_cast<unsigned>(bankCode) & 0xFFF);
    return name;
}

bool DigestManifest::loadManifest(Files& files, const std::string& path) {
    document_.Clear();
    std::string bytes;
    bool tooLarge = false;
    if (!files.exists(path) ||
        !files.readChunks(
            path, 4096,
            [&](const char* data, size_t size) {
                if (bytes.size() + size > kMaxManifestBytes) tooLarge = true;
                if (!tooLarge) bytes.append(data, size);
            },
            kMaxManifestBytes) ||
        tooLarge)
        return false;
    return loadText(bytes);
}

bool DigestManifest::loadText(const std::string& utf8Xml) {
    document_.Clear();
    // The parser steps past the end of a text that ends inside a UTF-8 sequence, and runs out
    // of stack on one nested deep enough.
    if (utf8Xml.size() > kMaxManifestBytes || !isWellFormedUtf8(utf8Xml) ||
        tinyXmlElementDepth(utf8Xml) > kMaxManifestNesting)
        return false;
    document_.Parse(utf8Xml.c_str(), nullptr, TIXML_ENCODING_UTF8);
    // A manifest that does not parse has no entries; its signature would not hold anyway.
    if (document_.Error()) {
        document_.Clear();
        return false;
    }
    return true;
}

bool DigestManifest::search(const TiXmlNode* node, const std::string& name, int n) {
    for (; node; node = node->NextSibling()) {
        if (node->ToElement() && node->ValueStr() == name && ++matchCount == n) {
            foundElement = node->ToElement();
            return true;
        }
        if (search(node->FirstChild(), name, n)) return true;
    }
    return false;
}

const TiXmlElement* DigestManifest::findElement(const std::string& name, int n) {
    matchCount = 0;
    foundElement = nullptr;
    search(document_.RootElement(), name, n);
    return foundElement;
}

int DigestManifest::countChildElements(const std::string& name, int n) {
    const TiXmlElement* parent = name.empty() ? document_.RootElement() : findElement(name, n);
    if (!parent) return 0;
    int count = 0;
    for (const TiXmlElement* child = parent->FirstChildElement(); child;
         child = child->NextSiblingElement())
        ++count;
    return count;
}

std::string DigestManifest::ansiAttribute(const TiXmlElement* element,
                                          const std::string& attribute) {
    const char* value = element ? element->Attribute(attribute.c_str()) : nullptr;
    return value && *value ? encoding_.utf8ToAnsi(value) : std::string();
}

std::string DigestManifest::readAttribute(const std::string& element, const std::string& attribute,
                                          int n) {
    return ansiAttribute(findElement(element, n), attribute);
}

bool DigestManifest::rootAttribute(const std::string& name, std::string& value) const {
    const TiXmlElement* root = document_.RootElement();
    const char* found = root ? root->Attribute(name.c_str()) : nullptr;
    if (!found) return false;
    value = found;
    return true;
}

std::vector<FileEntry> DigestManifest::entries() {
    const int count = entryCount();
    std::vector<const TiXmlElement*> fileElements;
    // Collects the "File" elements in the same order findElement counts them.
    struct Walker {
        std::vector<const TiXmlElement*>& out;
        size_t wanted;
        void walk(const TiXmlNode* node) {
            for (; node && out.size() < wanted; node = node->NextSibling()) {
                if (node->ToElement() && node->ValueStr() == "File")
                    out.push_back(node->ToElement());
                walk(node->FirstChild());
            }
        }
    } walker{fileElements, static_cast<size_t>(count)};
    walker.walk(document_.RootElement());
    std::vector<FileEntry> result(static_cast<size_t>(count));
    for (size_t i = 0; i < fileElements.size(); ++i) {
        FileEntry& entry = result[i];
        entry.path = nameAttribute(fileElements[i], "Path", entry);
        entry.fileName = nameAttribute(fileElements[i], "FileName", entry);
        entry.digest = ansiAttribute(fileElements[i], "Digest");
    }
    return result;
}

std::string DigestManifest::nameAttribute(const TiXmlElement* element, const char* attribute,
                                          FileEntry& entry) {
    const char* value = element->Attribute(attribute);
    std::string ansi;
    if (value && *value && !encoding_.utf8ToAnsiExactly(value, ansi) && entry.unconvertible.empty())
        entry.unconvertible = value;
    return ansi;
}

bool LoadedManifest::hasEntry(const std::string& path, const std::string& fileName,
                              const std::string& digest) const {
    const auto found = firstDigest.find({path, fileName});
    return found != firstDigest.end() && found->second == digest;
}

namespace {

LoadedManifest entriesOf(DigestManifest& manifest, bool loaded) {
    LoadedManifest result;
    result.exists = loaded;
    result.entries = manifest.entries();
    for (const auto& entry : result.entries)
        result.firstDigest.emplace(std::make_pair(entry.path, entry.fileName), entry.digest);
    return result;
}

}  // namespace

LoadedManifest loadManifestEntries(Files& files, TextEncoding& encoding, const std::string& path) {
    DigestManifest manifest(encoding);
    const bool loaded = manifest.loadManifest(files, path);
    return entriesOf(manifest, loaded);
}

LoadedManifest manifestEntriesOfText(TextEncoding& encoding, const std::string& utf8Xml) {
    DigestManifest manifest(encoding);
    const bool loaded = manifest.loadText(utf8Xml);
    return entriesOf(manifest, loaded);
}

bool manifestHasEntry(Files& files, TextEncoding& encoding, const std::string& manifestPath,
                      const std::string& path, const std::string& fileName,
                      const std::string& digest) {
    return loadManifestEntries(files, encoding, manifestPath).hasEntry(path, fileName, digest);
}

const LoadedManifest& ManifestCache::get(Files& files, TextEncoding& encoding,
                                         const std::string& path) {
    auto found = loaded_.find(path);
    if (found == loaded_.end())
        found = loaded_.emplace(path, loadManifestEntries(files, encoding, path)).first;
    return found->second;
}

}  // namespace vaultaide
