#include "platform/win32/win32_platform.h"

namespace vaultaide {

std::string Win32TextEncoding::utf8ToAnsi(const std::string& utf8) {
    if (utf8.empty()) return utf8;
    const int wide =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), wide);
    const int narrow =
        WideCharToMultiByte(CP_ACP, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(narrow), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), wide, out.data(), narrow, nullptr, nullptr);
    return out;
}

}  // namespace vaultaide
