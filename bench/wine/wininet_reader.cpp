// The least a WinInet download can do, as a yardstick for the program's: one session, one
// HTTP/1.0 GET without cache, the body read in pieces of the given size (65536 unless told)
// straight into the file. Prints the seconds from opening the session to closing the file.
//   wininet_reader URL PATH [PIECE]
#include <windows.h>

#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: wininet_reader URL PATH [PIECE]\n");
        return 2;
    }
    std::vector<char> piece(argc == 4 ? std::strtoul(argv[3], nullptr, 10) : 65536);
    LARGE_INTEGER start, end, frequency;
    QueryPerformanceCounter(&start);
    HINTERNET session =
        InternetOpenA("wininet_reader", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    char host[256] = {}, object[2048] = {};
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host;
    parts.lpszUrlPath = object;
    parts.dwUrlPathLength = sizeof object;
    HINTERNET connection = session && InternetCrackUrlA(argv[1], 0, 0, &parts)
                               ? InternetConnectA(session, host, parts.nPort, nullptr, nullptr,
                                                  INTERNET_SERVICE_HTTP, 0, 0)
                               : nullptr;
    HINTERNET request =
        connection ? HttpOpenRequestA(connection, "GET", object, "HTTP/1.0", nullptr, nullptr,
                                      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)
                   : nullptr;
    if (request && !HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
        InternetCloseHandle(request);
        request = nullptr;
    }
    HANDLE file = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    unsigned long long total = 0;
    bool ok = request && file != INVALID_HANDLE_VALUE;
    DWORD got = 0, written = 0;
    while (ok &&
           (ok = InternetReadFile(request, piece.data(), static_cast<DWORD>(piece.size()), &got) !=
                 FALSE) &&
           got != 0) {
        ok = WriteFile(file, piece.data(), got, &written, nullptr) && written == got;
        total += got;
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (request) InternetCloseHandle(request);
    if (connection) InternetCloseHandle(connection);
    if (session) InternetCloseHandle(session);
    QueryPerformanceCounter(&end);
    QueryPerformanceFrequency(&frequency);
    std::printf("seconds %.3f bytes %llu %s\n",
                static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart, total,
                ok ? "downloaded" : "failed");
    return ok ? 0 : 1;
}
