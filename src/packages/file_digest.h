#pragma once
// Digests of files: Base64 of the SHA-1 of their bytes, 28 characters.
#include <string>

namespace vaultaide {

class Files;
class LockedFile;

// The digest of a locked file's content; false when it cannot be read.
bool lockedDigest(LockedFile& file, std::string& digest);
// True with the digest text when a file (no link) exists at path, read through a handle that
// nobody can write through meanwhile; otherwise digest is left as it was.
bool fileDigest(Files& files, const std::string& path, std::string& digest);
// False only when the file's digest text equals expected byte for byte.
bool digestDiffers(Files& files, const std::string& path, const std::string& expected);

}  // namespace vaultaide
