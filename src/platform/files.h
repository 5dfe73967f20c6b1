#pragma once
// Files and folders by Windows path ("C:\..." or relative to the current directory).
#include <string>

namespace vaultaide {

class Files {
public:
    virtual ~Files() = default;
    virtual bool isDirectory(const std::string& path) = 0;
    virtual bool exists(const std::string& path) = 0;
    // Creates one directory level; false when it could not be created.
    virtual bool createDirectory(const std::string& path) = 0;
    // Reads the whole file's bytes; false when it cannot be opened or read.
    virtual bool readFile(const std::string& path, std::string& bytes) = 0;
};

}  // namespace vaultaide
