#pragma once
// Names from a manifest become paths on the machine: only names that stay inside the
// installation are taken.
#include <string>

namespace vaultaide {

// A plain file or folder name: not empty, not ending in "." or a blank (so not "." or ".."), no
// "\" (a GBK character's second byte aside), "/", ":" or control character, and no reserved
// device name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, with or without an extension, in any
// case), and not the staging name of downloads.
bool isPlainName(const std::string& name);

// Path is empty or one plain folder name, and fileName is a plain name.
bool isSafeEntry(const std::string& path, const std::string& fileName);

}  // namespace vaultaide
