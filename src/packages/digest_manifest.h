#pragma once
// The Digest manifests: which files make up the assistant, in which folder, with which digest.
#include <tinyxml.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vaultaide {

class Files;
class TextEncoding;

// Manifest families: 1 the common manifest, 3 the bank's; 2 is named but never used.
constexpr int kCommonManifest = 1;
constexpr int kUnusedManifest = 2;
constexpr int kBankManifest = 3;
// A larger manifest is refused rather than held in memory.
constexpr size_t kMaxManifestBytes = 16u << 20;
// Deeper element nesting is refused: the parser takes stack for every level. Manifests nest 3.
constexpr size_t kMaxManifestNesting = 64;

// "Digest.xml", "Digest_n.xml" or "Digest_%0.3x.xml" with the bank code; empty for other sets.
std::string manifestFileName(int set, int32_t bankCode);

struct FileEntry {
    std::string path;      // folder below the installation directory; empty for the directory
    std::string fileName;  // name with extension
    std::string digest;    // 28 Base64 characters
    // The Path or FileName (as the manifest has it, UTF-8) that the ANSI code page cannot
    // hold exactly; empty when both convert. Such an entry names no file on this machine.
    std::string unconvertible;
};

// One loaded manifest with the system's element searches. Attribute values come out in the
// ANSI code page.
class DigestManifest {
public:
    explicit DigestManifest(TextEncoding& encoding) : encoding_(encoding) {}

    // False (and no elements) when the file is missing or does not parse.
    bool loadManifest(Files& files, const std::string& path);
    bool loadText(const std::string& utf8Xml);

    // The n-th element (from 1) of that name in document order, each element before its
    // children; null when there are fewer.
    const TiXmlElement* findElement(const std::string& name, int n);
    // Child elements of the n-th element of that name (of the document element for "").
    int countChildElements(const std::string& name, int n);
    // The attribute of the n-th element of that name; empty when either is missing.
    std::string readAttribute(const std::string& element, const std::string& attribute, int n);

    // The document element's attribute as the file has it (UTF-8); false when it has none.
    bool rootAttribute(const std::string& name, std::string& value) const;

    // N: the child elements of the first "FileInfo".
    int entryCount() { return countChildElements("FileInfo", 1); }
    // Entries 1..N, read from the "File" elements in document order, in one pass.
    std::vector<FileEntry> entries();

    int matchCount = 0;
    const TiXmlElement* foundElement = nullptr;

private:
    bool search(const TiXmlNode* node, const std::string& name, int n);
    std::string ansiAttribute(const TiXmlElement* element, const std::string& attribute);
    // The attribute in the ANSI code page; one that does not convert exactly is noted in
    // entry.unconvertible.
    std::string nameAttribute(const TiXmlElement* element, const char* attribute, FileEntry& entry);

    TiXmlDocument document_;
    TextEncoding& encoding_;
};

// A manifest read once, with its entries and a lookup by (Path, FileName): the first entry
// of a pair decides.
struct LoadedManifest {
    bool exists = false;
    std::vector<FileEntry> entries;
    std::map<std::pair<std::string, std::string>, std::string> firstDigest;

    // True when an entry with this Path and FileName (byte for byte) carries this Digest.
    bool hasEntry(const std::string& path, const std::string& fileName,
                  const std::string& digest) const;
};

LoadedManifest loadManifestEntries(Files& files, TextEncoding& encoding, const std::string& path);
LoadedManifest manifestEntriesOfText(TextEncoding& encoding, const std::string& utf8Xml);

// Loads the manifest at path and looks the entry up.
bool manifestHasEntry(Files& files, TextEncoding& encoding, const std::string& manifestPath,
                      const std::string& path, const std::string& fileName,
                      const std::string& digest);

// Manifests read at most once per run; a manifest file that the run replaces is forgotten.
class ManifestCache {
public:
    const LoadedManifest& get(Files& files, TextEncoding& encoding, const std::string& path);
    // The manifest at path is the one given (parsed from the bytes whose signature held), not
    // what the file holds when it is next read.
    void put(const std::string& path, LoadedManifest manifest) {
        loaded_[path] = std::move(manifest);
    }
    void forget(const std::string& path) { loaded_.erase(path); }
    void clear() { loaded_.clear(); }

private:
    std::map<std::string, LoadedManifest> loaded_;
};

}  // namespace vaultaide
