// Windows-side helper of the end-to-end tests.
//   wadriver hold-mutex NAME SECONDS READYFILE   holds a named mutex, creating READYFILE once
//                                                 it is held, for at most SECONDS
//   wadriver acp                                  prints the ANSI code page
//   wadriver reg-set KEY NAME VALUE               writes REG_SZ (no terminator) under
//                                                 HKEY_LOCAL_MACHINE, 32-bit view
//   wadriver reg-delete KEY                       deletes a key without subkeys (32-bit view)
//   wadriver verify-manifest FILE                 checks a manifest's signature with the
//                                                 program's key: prints "valid" or "invalid"
//   wadriver digest FILE                          prints the file's digest text
//   wadriver manifest-entries FILE                prints each entry as PATH|FILENAME|DIGEST
//   wadriver pipe-send PIPE TEXT                  writes TEXT to a named pipe as one message
//   wadriver idle SECONDS                         does nothing for SECONDS (keeps the
//                                                 prefix's desktop process up between runs)
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "packages/digest_manifest.h"
#include "packages/file_digest.h"
#include "packages/signed_manifests.h"
#include "platform/win32/win32_platform.h"
#include "protocol/built_in_keys.h"

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "hold-mutex") == 0) {
        HANDLE mutex = CreateMutexA(nullptr, FALSE, argv[2]);
        if (!mutex) return 2;
        HANDLE ready = CreateFileA(argv[4], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        CloseHandle(ready);
        Sleep(static_cast<DWORD>(std::atoi(argv[3])) * 1000);
        CloseHandle(mutex);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "acp") == 0) {
        std::printf("%u\n", GetACP());
        return 0;
    }
    if (argc == 5 && std::strcmp(argv[1], "reg-set") == 0) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, argv[2], 0, nullptr, 0,
                            KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            return 1;
        const LONG rc =
            RegSetValueExA(key, argv[3], 0, REG_SZ, reinterpret_cast<const BYTE*>(argv[4]),
                           static_cast<DWORD>(std::strlen(argv[4])));
        RegCloseKey(key);
        return rc == ERROR_SUCCESS ? 0 : 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "reg-delete") == 0) {
        const LONG rc = RegDeleteKeyExA(HKEY_LOCAL_MACHINE, argv[2], KEY_WOW64_32KEY, 0);
        return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? 0 : 1;
    }
    if (argc == 4 && std::strcmp(argv[1], "pipe-send") == 0) {
        HANDLE pipe = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (pipe == INVALID_HANDLE_VALUE) return 1;
        DWORD written = 0;
        const BOOL ok =
            WriteFile(pipe, argv[3], static_cast<DWORD>(std::strlen(argv[3])), &written, nullptr);
        CloseHandle(pipe);
        return ok ? 0 : 1;
    }
    vaultaide::Platform& platform = vaultaide::win32Platform();
    if (argc == 3 && std::strcmp(argv[1], "verify-manifest") == 0) {
        const bool valid = vaultaide::verifySignedFile(platform.files, argv[2],
                                                       vaultaide::builtInManifestPublicKey());
        std::printf("%s\n", valid ? "valid" : "invalid");
        return valid ? 0 : 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "digest") == 0) {
        std::string digest;
        if (!vaultaide::fileDigest(platform.files, argv[2], digest)) return 1;
        std::printf("%s\n", digest.c_str());
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "manifest-entries") == 0) {
        vaultaide::DigestManifest manifest(platform.text);
        if (!manifest.loadManifest(platform.files, argv[2])) return 1;
        for (const auto& entry : manifest.entries())
            std::printf("%s|%s|%s\n", entry.path.c_str(), entry.fileName.c_str(),
                        entry.digest.c_str());
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "idle") == 0) {
        Sleep(static_cast<DWORD>(std::atoi(argv[2])) * 1000);
        return 0;
    }
    std::fprintf(
        stderr,
        "usage: wadriver hold-mutex NAME SECONDS READYFILE | acp | reg-set KEY NAME VALUE | "
        "reg-delete KEY | verify-manifest FILE | digest FILE | manifest-entries FILE | "
        "pipe-send PIPE TEXT | "
        "idle SECONDS\n");
    return 2;
}
