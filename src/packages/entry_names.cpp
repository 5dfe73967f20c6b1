#include "packages/entry_names.h"

#include <cctype>

#include "base/gbk_text.h"
#include "protocol/download.h"

namespace vaultaide {

namespace {

bool isReservedDeviceName(const std::string& name) {
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
           stem[3] >= '1' && stem[3] <= '9';
}

// Downloads are staged under this name in their target's folder, and a staging file found
// there is removed: a listed file of that name (as the file system reads it, without letter
// case or trailing dots and blanks) would be lost to the next download into its folder.
bool isStagingName(const std::string& name) {
    std::string stem = name.substr(0, name.find_last_not_of(". ") + 1);
    for (char& c : stem) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return stem == kStagingName;
}

}  // namespace

bool isPlainName(const std::string& name) {
    // Windows drops trailing dots and blanks, so a name ending in one (". ", "..." among them)
    // could stand for "." or ".."; dots inside a name ("a..b.dll") are plain.
    if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
    if (findBackslash(name) != std::string::npos) return false;
    for (char c : name)
        if (c == '/' || c == ':' || (static_cast<unsigned char>(c) < 0x20)) return false;
    return !isReservedDeviceName(name) && !isStagingName(name);
}

bool isSafeEntry(const std::string& path, const std::string& fileName) {
    return (path.empty() || isPlainName(path)) && isPlainName(fileName);
}

}  // namespace vaultaide
