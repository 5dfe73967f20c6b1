// Windows-side helper of the end-to-end tests.
//   wadriver hold-mutex NAME SECONDS READYFILE   holds a named mutex, creating READYFILE once
//                                                 it is held, for at most SECONDS
//   wadriver acp                                  prints the ANSI code page
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
    if (argc == 3 && std::strcmp(argv[1], "idle") == 0) {
        Sleep(static_cast<DWORD>(std::atoi(argv[2])) * 1000);
        return 0;
    }
    std::fprintf(stderr, "usage: wadriver hold-mutex NAME SECONDS READYFILE | acp | idle SECONDS\n");
    return 2;
}
