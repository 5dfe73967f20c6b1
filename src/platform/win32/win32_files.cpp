#include "platform/win32/win32_platform.h"

#include <aclapi.h>
#include <sddl.h>
// RtlGenRandom, after windows.h.
#include <ntsecapi.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/access_list.h"
#include "platform/sharing_retry.h"
#include "platform/win32/scoped_handle.h"

namespace vaultaide {

namespace {

// Administrators and SYSTEM full control, users read and execute, for the folder and
// everything below it; "P": nothing inherited from the folders above.
// Administrators own it, so no user who created it keeps the owner's right to change the list.
constexpr const char* kProtectedFolderAcl =
    "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;FRFX;;;BU)";
// Administrators and the system only, nothing inherited from the parent.
constexpr const char* kPrivateFolderAcl = "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

// Repeats a call that failed on another program's hold of the file.
template <class Call>
bool sharedRetry(Call call) {
    return retryWhileShared(
        [&] {
            if (call()) return Attempt::Done;
            const DWORD error = GetLastError();
            return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION
                       ? Attempt::Shared
                       : Attempt::Failed;
        },
        [](uint32_t ms) { Sleep(ms); });
}

HANDLE openShared(const std::string& path, DWORD access, DWORD share, DWORD creation, DWORD flags) {
    HANDLE handle = INVALID_HANDLE_VALUE;
    sharedRetry([&] {
        handle = CreateFileA(path.c_str(), access, share, nullptr, creation, flags, nullptr);
        return handle != INVALID_HANDLE_VALUE;
    });
    return handle;
}

// Opens the folder itself, never what a link there names: null when it is no real folder.
ScopedHandle openRealFolder(const std::string& path, DWORD access, DWORD share) {
    ScopedHandle folder(openShared(path, access, share, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT));
    BY_HANDLE_FILE_INFORMATION information;
    if (!folder || !GetFileInformationByHandle(folder.get(), &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return ScopedHandle();
    return folder;
}

// Each level held without delete sharing: a folder open so cannot be renamed or removed, and
// neither can a folder above an open one. The share mode binds others only when the open asks
// for data access, hence listing and traversal. Data access is shared, so files in it can
// still be made, renamed and deleted.
class Win32HeldFolders : public HeldFolders {
public:
    bool holdNext(const std::string& folder) override {
        ScopedHandle level = openRealFolder(
            folder, FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
            FILE_SHARE_READ | FILE_SHARE_WRITE);
        if (!level) return false;
        levels_.push_back(std::move(level));
        return true;
    }

private:
    std::vector<ScopedHandle> levels_;
};

#ifdef VAULTAIDE_TRUST_RUNNING_ACCOUNT
// Builds with the test keys run under Wine, which reports every file as the running account's
// and keeps no access list it is given: that account is trusted there, or no folder would ever
// read as closed.
std::vector<uint8_t> runningAccount() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    alignas(TOKEN_USER) char buffer[256];
    DWORD size = 0;
    std::vector<uint8_t> sid;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) {
        PSID user = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
        const auto* bytes = static_cast<const uint8_t*>(user);
        sid.assign(bytes, bytes + GetLengthSid(user));
    }
    CloseHandle(token);
    return sid;
}
#endif

// Whether anyone but administrators, the system and the installer service holds the query's
// rights over the folder; a folder that is a link, or whose list cannot be read, counts as open.
bool othersHoldOver(const std::string& path, AccessQuery query) {
    ScopedHandle folder =
        openRealFolder(path, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    PSID owner = nullptr;
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!folder || GetSecurityInfo(folder.get(), SE_FILE_OBJECT,
                                   OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                   nullptr, &acl, nullptr, &descriptor) != ERROR_SUCCESS)
        return true;
#ifdef VAULTAIDE_TRUST_RUNNING_ACCOUNT
    query.alsoTrusted.push_back(runningAccount());
#endif
    const bool open = othersHold(
        static_cast<const uint8_t*>(owner), owner && IsValidSid(owner) ? GetLengthSid(owner) : 0,
        reinterpret_cast<const uint8_t*>(acl), acl ? acl->AclSize : 0, query);
    LocalFree(descriptor);
    return open;
}

bool writeAll(HANDLE file, const char* data, size_t size) {
    DWORD written = 0;
    return WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
}

// A handle shared with readers only: while it is open nobody can write, rename or delete the
// file.
class Win32LockedFile : public LockedFile {
public:
    explicit Win32LockedFile(ScopedHandle file) : file_(std::move(file)) {}

    bool readAll(size_t chunkSize, const std::function<void(const char*, size_t)>& piece) override {
        if (SetFilePointer(file_.get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
            return false;
        std::string buffer(chunkSize, '\0');
        for (;;) {
            DWORD got = 0;
            if (!ReadFile(file_.get(), buffer.data(), static_cast<DWORD>(chunkSize), &got, nullptr))
                return false;
            if (got == 0) return true;
            piece(buffer.data(), got);
        }
    }

    bool copyTo(const std::string& target) override {
        // A new file only: whatever holds the name is never written through.
        ScopedHandle out(CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out) return false;
        bool written = true;
        const bool read = readAll(65536, [&](const char* data, size_t size) {
            written = written && writeAll(out.get(), data, size);
        });
        return read && written && FlushFileBuffers(out.get());
    }

private:
    ScopedHandle file_;
};

}  // namespace

bool Win32Files::isDirectory(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32Files::exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool Win32Files::createDirectory(const std::string& path) {
    return CreateDirectoryA(path.c_str(), nullptr);
}

bool Win32Files::createProtectedDirectory(const std::string& path) {
    // The list is the folder's from the start: no moment with the one it would inherit.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kProtectedFolderAcl, SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return false;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    const bool made = CreateDirectoryA(path.c_str(), &attributes) != FALSE;
    LocalFree(descriptor);
    return made;
}

bool Win32Files::readFile(const std::string& path, std::string& bytes) {
    std::string content;
    if (!readChunks(
            path, 4096, [&](const char* data, size_t size) { content.append(data, size); },
            SIZE_MAX))
        return false;
    bytes.swap(content);
    return true;
}

bool Win32Files::readChunks(const std::string& path, size_t chunkSize,
                            const std::function<void(const char*, size_t)>& piece, size_t limit) {
    ScopedHandle file(openShared(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
    if (!file) return false;
    std::string buffer(chunkSize, '\0');
    DWORD got = 0;
    size_t passed = 0;
    while (passed <= limit &&
           ReadFile(file.get(), buffer.data(), static_cast<DWORD>(chunkSize), &got, nullptr) &&
           got > 0) {
        piece(buffer.data(), got);
        passed += got;
    }
    return true;
}

bool Win32Files::writeFile(const std::string& path, const std::string& bytes) {
    ScopedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
}

bool Win32Files::writeFileDurably(const std::string& path, const std::string& bytes) {
    // A file or link already there loses its name; its content is never written through.
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES && !deleteFile(path))
        return false;
    ScopedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && writeAll(file.get(), bytes.data(), bytes.size()) && FlushFileBuffers(file.get());
}

bool Win32Files::isLink(const std::string& path) {
    // The attributes of the path itself: a link is not followed here.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool Win32Files::removeLink(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    // A junction or folder link goes with RemoveDirectory, a file link with DeleteFile; neither
    // touches what the link names.
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryA(path.c_str())
                                                   : DeleteFileA(path.c_str());
}

std::unique_ptr<LockedFile> Win32Files::openLocked(const std::string& path) {
    ScopedHandle file(openShared(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN));
    BY_HANDLE_FILE_INFORMATION information;
    if (!file || !GetFileInformationByHandle(file.get(), &information) ||
        (information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)))
        return nullptr;
    return std::make_unique<Win32LockedFile>(std::move(file));
}

// Everything below folder gets owner as its owner and only the entries it inherits, so nothing a
// user made or closed while the folder was open keeps a way for that user to change it. Each
// entry is changed through a handle on the entry itself, and a folder is entered only while it is
// held as a real folder (it cannot be renamed or swapped meanwhile): a link, junction or mount
// point, even one made since the listing, is neither changed nor entered; the installation steps
// remove them.
namespace {
bool inheritBelow(Files& files, const std::string& folder, PSID owner, int depth) {
    if (depth > 32) return false;
    ACL empty;
    if (!InitializeAcl(&empty, sizeof empty, ACL_REVISION)) return false;
    std::vector<Files::Entry> entries;
    if (!files.listDirectory(folder, entries)) return false;
    bool done = true;
    for (const auto& entry : entries) {
        if (entry.isLink) continue;
        const std::string path = folder + "\\" + entry.name;
        Win32HeldFolders held;
        if (entry.isDirectory && !held.holdNext(path)) {
            done = done && files.isLink(path);
            continue;
        }
        ScopedHandle opened(openShared(path, READ_CONTROL | WRITE_DAC | WRITE_OWNER,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT));
        BY_HANDLE_FILE_INFORMATION information;
        if (!opened || !GetFileInformationByHandle(opened.get(), &information)) {
            done = false;
            continue;
        }
        if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
        // A file with another name may be one outside the folder that a user linked in: its
        // owner and list stay as they are.
        if (!entry.isDirectory && information.nNumberOfLinks > 1) continue;
        // A file swapped for a folder since the listing is not held: it fails the protection.
        if (!entry.isDirectory && (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            done = false;
            continue;
        }
        done = SetSecurityInfo(opened.get(), SE_FILE_OBJECT,
                               OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                   UNPROTECTED_DACL_SECURITY_INFORMATION,
                               owner, nullptr, &empty, nullptr) == ERROR_SUCCESS &&
               done;
        if (entry.isDirectory) done = inheritBelow(files, path, owner, depth + 1) && done;
    }
    return done;
}
}  // namespace

bool Win32Files::protectFolder(const std::string& path) {
    // Set through a handle on the folder itself: a link put in its place would carry the list
    // and the owner to whatever it names. Held meanwhile, so the entries below are this folder's.
    Win32HeldFolders held;
    if (!held.holdNext(path)) return false;
    ScopedHandle folder = openRealFolder(path, READ_CONTROL | WRITE_DAC | WRITE_OWNER,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (!folder) return false;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kProtectedFolderAcl, SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return false;
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    PSID owner = nullptr;
    const bool done = GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) &&
                      present && GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) &&
                      owner &&
                      SetSecurityInfo(folder.get(), SE_FILE_OBJECT,
                                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                          PROTECTED_DACL_SECURITY_INFORMATION,
                                      owner, nullptr, acl, nullptr) == ERROR_SUCCESS &&
                      inheritBelow(*this, path, owner, 0);
    LocalFree(descriptor);
    return done;
}

bool Win32Files::othersMayChange(const std::string& path) { return othersHoldOver(path, {}); }

bool Win32Files::othersMayReplaceEntries(const std::string& path) {
    AccessQuery query;
    // Only what applies to the folder itself; a drive's root cannot be renamed or removed.
    query.rights = kReplacingRights;
    if (path.size() <= 3 && path.size() >= 2 && path[1] == ':') query.rights &= ~kRightDelete;
    query.inherited = false;
    return othersHoldOver(path, query);
}

std::unique_ptr<HeldFolders> Win32Files::holdRealFolder(const std::string& path) {
    auto held = std::make_unique<Win32HeldFolders>();
    if (!held->holdNext(path)) return nullptr;
    return held;
}

bool Win32Files::deleteFile(const std::string& path) {
    return sharedRetry([&] { return DeleteFileA(path.c_str()) != FALSE; });
}

bool Win32Files::moveFile(const std::string& from, const std::string& to, bool replaceExisting) {
    // Write-through: a rename that completes a journal or a backup is on the disk on return.
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replaceExisting ? MOVEFILE_REPLACE_EXISTING : 0);
    return sharedRetry([&] { return MoveFileExA(from.c_str(), to.c_str(), flags) != FALSE; });
}

bool Win32Files::linkFile(const std::string& existing, const std::string& link) {
    return sharedRetry(
        [&] { return CreateHardLinkA(link.c_str(), existing.c_str(), nullptr) != FALSE; });
}

bool Win32Files::copyFile(const std::string& from, const std::string& to, bool overwrite) {
    return CopyFileA(from.c_str(), to.c_str(), overwrite ? FALSE : TRUE);
}

std::string Win32Files::tempFolder() {
    char path[MAX_PATH] = {};
    const DWORD length = GetTempPathA(MAX_PATH, path);
    return length > 0 && length < MAX_PATH ? std::string(path, length) : std::string();
}

bool Win32Files::createPrivateFolder(std::string& path) {
    char windows[MAX_PATH] = {};
    const UINT length = GetSystemWindowsDirectoryA(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    // Nothing inherited from the parent, where any user may create folders. The folder is new,
    // so no one else holds it open.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kPrivateFolderAcl, SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return false;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    const std::string parent = std::string(windows, length) + "\\Temp\\vaultaide-";
    bool made = false;
    // Names from the system's random source, so nobody can create them beforehand; a name
    // someone else took makes the creation fail: draw another.
    for (int attempt = 0; attempt < 64 && !made; ++attempt) {
        unsigned long long tag = 0;
        if (!RtlGenRandom(&tag, sizeof tag)) break;
        char name[24];
        std::snprintf(name, sizeof name, "%016llx", tag);
        path = parent + name;
        made = CreateDirectoryA(path.c_str(), &attributes) != FALSE;
    }
    LocalFree(descriptor);
    if (!made) return false;
    path += "\\";
    return true;
}

bool Win32Files::listDirectory(const std::string& path, std::vector<Entry>& entries) {
    WIN32_FIND_DATAA found;
    ScopedFind search(FindFirstFileA((path + "\\*.*").c_str(), &found));
    if (!search) return false;
    entries.clear();
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        entries.push_back({name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                           (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
    } while (FindNextFileA(search.get(), &found));
    return true;
}

}  // namespace vaultaide
