#pragma once
// Digests of files: Base64 of the SHA-1 of their bytes, 28 characters.
#include <string>

namespace vaultaide {

class Files;

// True with the digest text when a file exists at path; otherwise digest is left as it was.
bool fileDigest(Files& files, const std::string& path, std::string& digest);
// False only when the file's digest text equals expected byte for byte.
bool digestDiffers(Files& files, const std::string& path, const std::string& expected);

}  // namespace vaultaide
