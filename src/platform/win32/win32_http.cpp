#include "platform/win32/win32_platform.h"

#include <wininet.h>

#include <algorithm>
#include <vector>

#include "platform/download_rate.h"
#include "platform/win32/scoped_handle.h"

namespace vaultaide {

namespace {

constexpr DWORD kRelaxedSecurityFlags = 0x3380;

struct ParsedUrl {
    INTERNET_SCHEME scheme = INTERNET_SCHEME_UNKNOWN;
    std::string host;
    INTERNET_PORT port = 0;
    std::string object;  // path and query
};

// Splits a URL as the framework's URL parser does; false for anything but http and https.
bool parseHttpUrl(const std::string& url, ParsedUrl& parsed) {
    std::vector<char> host(url.size() + 1), path(url.size() + 1), extra(url.size() + 1);
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host.data();
    parts.dwHostNameLength = static_cast<DWORD>(host.size());
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    parts.lpszExtraInfo = extra.data();
    parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (!InternetCrackUrlA(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)
        return false;
    parsed.scheme = parts.nScheme;
    parsed.host = host.data();
    parsed.port = parts.nPort;
    parsed.object = std::string(path.data()) + extra.data();
    if (parsed.object.empty()) parsed.object = "/";
    return true;
}

DWORD connectionFlags(const ParsedUrl& url) {
    DWORD flags = INTERNET_FLAG_KEEP_CONNECTION;
    if (url.scheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
    return flags;
}

DWORD requestFlags(const ParsedUrl& url) {
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
    if (url.scheme == INTERNET_SCHEME_HTTPS)
        flags |= INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_CN_INVALID;
    return flags;
}

// Every piece read is a progress report, and every report waits on the dialog's thread while
// it repaints: a file is read in about 256 pieces (steps of 0.4%, about a pixel of the bar),
// none smaller than 64 KiB or larger than 1 MiB.
DWORD downloadPieceBytes(uint64_t length) {
    return static_cast<DWORD>(std::clamp<uint64_t>(length / 256, 64 * 1024, 1024 * 1024));
}

int failureResult(DWORD error) {
    return error == ERROR_INTERNET_TIMEOUT ? kHttpTimeout : kHttpFailed;
}

// The caller's time-outs. The data time-outs alone do not bound an HTTP exchange (WinInet
// applies them to FTP data channels), so send and receive get the same value: a server that
// holds the connection open ends the exchange as a time-out. Without a value the system's stay.
void setTimeouts(HINTERNET handle, const HttpSettings& settings) {
    if (settings.timeoutMs == 0) return;
    DWORD timeout = settings.timeoutMs;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT,
                         INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT})
        InternetSetOptionA(handle, option, &timeout, sizeof timeout);
}

// Opens connection and request with the caller's headers and time-outs and sends the request;
// false with the error code.
bool openAndSend(HINTERNET session, const ParsedUrl& url, const HttpSettings& settings,
                 ScopedInternet& connection, ScopedInternet& request, DWORD& error) {
    connection.reset(InternetConnectA(session, url.host.c_str(), url.port, nullptr, nullptr,
                                      INTERNET_SERVICE_HTTP, connectionFlags(url), 1));
    if (connection)
        request.reset(HttpOpenRequestA(connection.get(), "GET", url.object.c_str(), "HTTP/1.0",
                                       nullptr, nullptr, requestFlags(url), 1));
    if (!request) {
        error = GetLastError();
        return false;
    }
    DWORD security = 0;
    DWORD size = sizeof security;
    if (InternetQueryOptionA(request.get(), INTERNET_OPTION_SECURITY_FLAGS, &security, &size)) {
        security |= kRelaxedSecurityFlags;
        InternetSetOptionA(request.get(), INTERNET_OPTION_SECURITY_FLAGS, &security,
                           sizeof security);
    }
    // Set on the request too: not every WinInet hands the session's time-outs down.
    setTimeouts(request.get(), settings);
    for (const auto& header : settings.headers)
        HttpAddRequestHeadersA(request.get(), header.c_str(), static_cast<DWORD>(-1),
                               HTTP_ADDREQ_FLAG_ADD_IF_NEW);
    if (!HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0)) {
        error = GetLastError();
        return false;
    }
    return true;
}

// The client of one server request: one session, a connection and request per exchange.
class CHttpClient : public HttpClient {
public:
    explicit CHttpClient(const HttpSettings& settings)
        : settings_(settings),
          inetSession(InternetOpenA(settings.userAgent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG,
                                    nullptr, nullptr, 0)) {}
    ~CHttpClient() override { Close(); }
    void Close() {
        request.reset();
        connection.reset();
    }
    int get(const std::string& url, std::string& answer) override { return Get(url, answer); }

    int Get(const std::string& url, std::string& answer) {
        ParsedUrl parsed;
        if (!inetSession || !parseHttpUrl(url, parsed)) return kHttpFailed;
        setTimeouts(inetSession.get(), settings_);
        DWORD error = 0;
        if (!openAndSend(inetSession.get(), parsed, settings_, connection, request, error)) {
            Close();
            return failureResult(error);
        }
        std::string body;
        char piece[1024];
        DWORD got = 0;
        for (;;) {
            if (!InternetReadFile(request.get(), piece, sizeof piece, &got)) {
                error = GetLastError();
                Close();
                return failureResult(error);
            }
            if (got == 0) break;
            // An answer larger than any the server sends is a failure, not an allocation that
            // could end the process.
            if (body.size() + got > kMaxAnswerBytes) {
                Close();
                return kHttpFailed;
            }
            body.append(piece, got);
        }
        answer.swap(body);
        Close();
        return kHttpOk;
    }

private:
    HttpSettings settings_;
    ScopedInternet inetSession;
    ScopedInternet connection;
    ScopedInternet request;
};

}  // namespace

std::unique_ptr<HttpClient> Win32HttpTransport::openClient(const HttpSettings& settings) {
    return std::make_unique<CHttpClient>(settings);
}

void Win32HttpTransport::removeFromCache(const std::string& url) {
    DeleteUrlCacheEntryA(url.c_str());
}

int Win32HttpTransport::downloadOnce(const std::string& url, const std::string& path,
                                     const HttpSettings& settings, DownloadSink* sink) {
    ParsedUrl parsed;
    if (!parseHttpUrl(url, parsed)) return kHttpFailed;
    ScopedInternet session(InternetOpenA(settings.userAgent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG,
                                         nullptr, nullptr, 0));
    if (!session) return kHttpFailed;
    setTimeouts(session.get(), settings);
    ScopedInternet connection, request;
    DWORD error = 0;
    if (!openAndSend(session.get(), parsed, settings, connection, request, error))
        return failureResult(error);

    DWORD status = 0, length = 0, size = sizeof status;
    HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                   nullptr);
    size = sizeof length;
    if (!HttpQueryInfoA(request.get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length,
                        &size, nullptr))
        length = 0;
    // Any other status completes the attempt without reading or writing.
    if (status != HTTP_STATUS_OK) return kHttpOk;
    if (settings.maxBytes != 0 && length > settings.maxBytes) return kHttpFailed;

    ScopedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return kHttpFailed;
    // Whatever goes wrong from here leaves no file behind.
    auto failed = [&](int result) {
        file.reset();
        DeleteFileA(path.c_str());
        return result;
    };
    uint64_t received = 0;
    std::vector<char> piece(downloadPieceBytes(length));
    DWORD got = 0;
    DownloadRateFloor floor(GetTickCount());
    for (;;) {
        if (!InternetReadFile(request.get(), piece.data(), static_cast<DWORD>(piece.size()), &got))
            return failed(failureResult(GetLastError()));
        if (got == 0) break;
        if (!floor.keepsUp(GetTickCount(), got)) return failed(kHttpTimeout);
        received += got;
        if (sink) sink->onProgress(received, length);
        // More than was announced can never be accepted: stop before it fills the disk.
        if (received > length) return failed(kHttpFailed);
        DWORD written = 0;
        if (!WriteFile(file.get(), piece.data(), got, &written, nullptr) || written != got)
            return failed(kHttpFailed);
    }
    if (received != length) return failed(kHttpFailed);
    return kHttpOk;
}

}  // namespace vaultaide
