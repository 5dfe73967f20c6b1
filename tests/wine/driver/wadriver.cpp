// Windows-side helper of the end-to-end tests.
//   wadriver hold-mutex NAME SECONDS READYFILE   holds a named mutex, creating READYFILE once
//                                                 it is held, for at most SECONDS
//   wadriver acp                                  prints the ANSI code page
//   wadriver reg-set KEY NAME VALUE               writes REG_SZ (no terminator) under
//                                                 HKEY_LOCAL_MACHINE, 32-bit view
//   wadriver reg-delete KEY                       deletes a key without subkeys (32-bit view)
//   wadriver idle SECONDS                         does nothing for SECONDS (keeps the
//                                                 prefix's desktop process up between runs)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

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
                            KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr) != ERROR_SUCCESS)
            return 1;
        const LONG rc = RegSetValueExA(key, argv[3], 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(argv[4]),
                                       static_cast<DWORD>(std::strlen(argv[4])));
        RegCloseKey(key);
        return rc == ERROR_SUCCESS ? 0 : 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "reg-delete") == 0) {
        const LONG rc = RegDeleteKeyExA(HKEY_LOCAL_MACHINE, argv[2], KEY_WOW64_32KEY, 0);
        return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? 0 : 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "idle") == 0) {
        Sleep(static_cast<DWORD>(std::atoi(argv[2])) * 1000);
        return 0;
    }
    std::fprintf(stderr, "usage: wadriver hold-mutex NAME SECONDS READYFILE | acp | reg-set KEY NAME VALUE | reg-delete KEY | idle SECONDS\n");
    return 2;
}
