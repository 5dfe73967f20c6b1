#pragma once
// The names a release may give its files: what the program and Windows can hold, and how
// Windows compares names within one folder.
#include <string>

namespace vaultaide::tools {

// The installation's staging folder, created beside the standard folders on every run.
constexpr const char* kStagingFolder = "DownLoad";

// The GBK bytes of a UTF-8 name, under which the program asks for the file; false when the
// name is not UTF-8 or has a character GBK lacks.
bool gbkNameOf(const std::string& utf8, std::string& gbk);

// Why the program (which takes the GBK name) or Windows cannot have a file of this name;
// empty when both can.
std::string nameFault(const std::string& name);

// Why a release may not hold a folder of this name; empty for the standard folders.
std::string folderFault(const std::string& folder);

// Digest*.xml in any letter case: the names of the manifests themselves.
bool isManifestName(const std::string& name);

// The UTF-8 name as Windows compares it within a folder: each letter GBK holds (Latin, Greek,
// Cyrillic, Roman numerals, full-width Latin) in upper case, as the file system's upcase table
// has it. Two names with the same key cannot be files side by side.
std::u32string windowsNameKey(const std::string& utf8);

}  // namespace vaultaide::tools
