#pragma once
// Files and folders by Windows path ("C:\..." or relative to the current directory).
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vaultaide {

// A file held open so that nobody can write, rename or delete it while the object lives: what
// is read from it is what stays on disk.
class LockedFile {
public:
    virtual ~LockedFile() = default;
    // Streams the whole content from its start in pieces of at most chunkSize bytes; false when
    // a read fails.
    virtual bool readAll(size_t chunkSize,
                         const std::function<void(const char*, size_t)>& piece) = 0;
    // Writes the whole content to target, a new file (false when the name is taken: nothing is
    // ever written through an existing file), and flushes it to the disk; false when that could
    // not be done.
    virtual bool copyTo(const std::string& target) = 0;
};

// Folders held open, each a level below the one before: while the object lives none of them
// can be renamed, removed or replaced by a link, nor can any folder above the first, so a path
// through them reaches what was checked.
class HeldFolders {
public:
    virtual ~HeldFolders() = default;
    // Holds folder, the next level below the last one held, once the opened folder itself shows
    // it is a real folder; false (holding nothing more) when it is missing, no folder, or a link,
    // junction or mount point.
    virtual bool holdNext(const std::string& folder) = 0;
};

class Files {
public:
    virtual ~Files() = default;
    virtual bool isDirectory(const std::string& path) = 0;
    virtual bool exists(const std::string& path) = 0;
    // Creates one directory level; false when it could not be created.
    virtual bool createDirectory(const std::string& path) = 0;
    // Reads the whole file's bytes; false when it cannot be opened or read.
    virtual bool readFile(const std::string& path, std::string& bytes) = 0;
    // Streams the file in pieces of at most chunkSize bytes; false when it cannot be opened.
    // A read that fails part way ends the stream early, and so does the piece that takes what
    // was passed on past limit: a caller learns that a file exceeds its cap without reading it.
    virtual bool readChunks(const std::string& path, size_t chunkSize,
                            const std::function<void(const char*, size_t)>& piece,
                            size_t limit) = 0;
    // Creates or truncates the file and writes the bytes.
    virtual bool writeFile(const std::string& path, const std::string& bytes) = 0;
    virtual bool deleteFile(const std::string& path) = 0;
    // Renames a file; with replaceExisting an existing target is replaced. A running program's
    // file can be renamed but not replaced.
    virtual bool moveFile(const std::string& from, const std::string& to,
                          bool replaceExisting = false) = 0;
    // Gives an existing file a second name (a hard link) in the same volume; false when the name
    // is taken, the file is no plain file or the file system keeps one name per file.
    virtual bool linkFile(const std::string& existing, const std::string& link) = 0;
    // Copies a file's bytes; with overwrite an existing target is replaced. False when it could
    // not be done; a file in use cannot be replaced.
    virtual bool copyFile(const std::string& from, const std::string& to, bool overwrite) = 0;
    // Writes the bytes to a new file at path, flushed to the disk before returning; a file or
    // link already there is removed first, never written through.
    virtual bool writeFileDurably(const std::string& path, const std::string& bytes) = 0;
    // The path itself is a symbolic link or junction: what it names may lie anywhere.
    virtual bool isLink(const std::string& path) = 0;
    // Removes the link at path, never what it names; false when path is no link or it stays.
    virtual bool removeLink(const std::string& path) = 0;
    // Opens a file for reading, shared with readers only; null when it is missing, a folder or a
    // link, or open for writing elsewhere.
    virtual std::unique_ptr<LockedFile> openLocked(const std::string& path) = 0;
    // Holds the folder as HeldFolders does its levels; null when it is no real folder.
    virtual std::unique_ptr<HeldFolders> holdRealFolder(const std::string& path) = 0;
    // Creates one directory level carrying, from its creation on, the access list protectFolder
    // gives; false when it could not be created so.
    virtual bool createProtectedDirectory(const std::string& path) = 0;
    // Gives a folder the access list installers give theirs, nothing inherited from above:
    // administrators and SYSTEM full control, users read and execute; administrators own it.
    // What it holds inherits that list; a link, junction or mount point below is neither
    // changed nor entered.
    virtual bool protectFolder(const std::string& path) = 0;
    // Someone other than administrators, the system and the installer service may write or
    // delete in the folder or below it, or change its access list (or it cannot be read).
    virtual bool othersMayChange(const std::string& path) = 0;
    // Someone other than those may rename or remove the folder or what it holds, or change its
    // access list (or it cannot be read): a folder above the installation that lets them
    // could have the installation's folder swapped for theirs.
    virtual bool othersMayReplaceEntries(const std::string& path) = 0;
    // The user's folder for temporary files, ending with "\".
    virtual std::string tempFolder() = 0;
    // Creates a folder under a name of its own, in the system's temporary folder, that only
    // administrators and the system can change, so nothing can be planted in it or swapped;
    // its path ends with "\". False when none could be made.
    virtual bool createPrivateFolder(std::string& path) = 0;

    struct Entry {
        std::string name;
        bool isDirectory;
        bool isLink = false;  // a symbolic link or junction: what it names may lie anywhere
    };
    // The entries of a folder (without "." and ".."); false when it cannot be listed.
    virtual bool listDirectory(const std::string& path, std::vector<Entry>& entries) = 0;
};

}  // namespace vaultaide
