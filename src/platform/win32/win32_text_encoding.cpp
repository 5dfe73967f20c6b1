#include "platform/win32/win32_platform.h"

namespace vaultaide {

std::string Win32TextEncoding::utf8ToAnsi(const std::string& utf8) {
    std::string out;
    utf8ToAnsiExactly(utf8, out);
    return out;
}

bool Win32TextEncoding::utf8ToAnsiExactly(const std::string& utf8, std::string& ansi) {
    ansi.clear();
    if (utf8.empty()) return true;
    const int size = static_cast<int>(utf8.size());
    const int wide = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    const bool wellFormed =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0) > 0;
    std::wstring text(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, text.data(), wide);
    // A code page of UTF-8 holds every character; the others tell when they put their default
    // character (or a look-alike, which no best fit may pick) in place of one they lack.
    const bool utf8CodePage = GetACP() == CP_UTF8;
    const DWORD flags = utf8CodePage ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL defaulted = FALSE;
    BOOL* usedDefault = utf8CodePage ? nullptr : &defaulted;
    const int narrow =
        WideCharToMultiByte(CP_ACP, flags, text.data(), wide, nullptr, 0, nullptr, nullptr);
    ansi.assign(static_cast<size_t>(narrow), '\0');
    WideCharToMultiByte(CP_ACP, flags, text.data(), wide, ansi.data(), narrow, nullptr,
                        usedDefault);
    return wellFormed && !defaulted;
}

}  // namespace vaultaide
