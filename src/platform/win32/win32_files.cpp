#include "platform/win32/win32_platform.h"

#include <sddl.h>

#include <cstdio>

#include "platform/win32/scoped_handle.h"

namespace vaultaide {

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

bool Win32Files::readFile(const std::string& path, std::string& bytes) {
    std::string content;
    if (!readChunks(path, 4096, [&](const char* data, size_t size) { content.append(data, size); }))
        return false;
    bytes.swap(content);
    return true;
}

bool Win32Files::readChunks(const std::string& path, size_t chunkSize,
                            const std::function<void(const char*, size_t)>& piece) {
    ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    std::string buffer(chunkSize, '\0');
    DWORD got = 0;
    while (ReadFile(file.get(), buffer.data(), static_cast<DWORD>(chunkSize), &got, nullptr) &&
           got > 0)
        piece(buffer.data(), got);
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

bool Win32Files::deleteFile(const std::string& path) { return DeleteFileA(path.c_str()); }

bool Win32Files::moveFile(const std::string& from, const std::string& to, bool replaceExisting) {
    return MoveFileExA(from.c_str(), to.c_str(), replaceExisting ? MOVEFILE_REPLACE_EXISTING : 0);
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
    // Full control for administrators and the system only, nothing inherited from the parent
    // (where any user may create folders). The folder is new, so no one else holds it open.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(
            "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)", SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    const std::string parent = std::string(windows, length) + "\\Temp\\vaultaide-";
    const DWORD tag = GetCurrentProcessId() ^ GetTickCount();
    bool made = false;
    // A name someone else took makes the creation fail: take the next one.
    for (DWORD attempt = 0; attempt < 64 && !made; ++attempt) {
        char name[16];
        std::snprintf(name, sizeof name, "%08lx", static_cast<unsigned long>(tag + attempt));
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
