#include "release_names.h"

#include <iconv.h>

#include "install/registration.h"
#include "packages/entry_names.h"

namespace vaultaide::tools {

namespace {

std::string lowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Lower-case letters of GBK and the distance to their upper case; every other character of
// GBK is its own upper case (the accented pinyin letters GBK holds have no upper case in it).
struct CaseRange {
    char32_t first, last, offset;
};
constexpr CaseRange kLowerCase[] = {
    {U'a', U'z', 0x20}, {U'α', U'ρ', 0x20}, {U'σ', U'ω', 0x20},   {U'а', U'я', 0x20},
    {U'ѐ', U'џ', 0x50}, {U'ⅰ', U'ⅿ', 0x10}, {U'ａ', U'ｚ', 0x20},
};

char32_t upperCase(char32_t c) {
    for (const auto& range : kLowerCase)
        if (c >= range.first && c <= range.last) return c - range.offset;
    return c;
}

// Reads one character of well-formed UTF-8 at i and moves i past it.
char32_t nextCharacter(const std::string& text, size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i++]);
    const int more = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
    char32_t c = more == 0 ? lead : lead & (0x3F >> more);
    for (int k = 0; k < more && i < text.size(); ++k)
        c = (c << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
    return c;
}

}  // namespace

// The program asks for a file by the GBK bytes of its manifest name, so the served tree holds
// each file under those bytes, which any static web server finds.
bool gbkNameOf(const std::string& utf8, std::string& gbk) {
    iconv_t cd = iconv_open("GBK", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string in = utf8;
    std::string out(utf8.size() * 2 + 4, '\0');
    char* inPtr = in.data();
    size_t inLeft = in.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    const bool ok = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) &&
                    iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != static_cast<size_t>(-1);
    iconv_close(cd);
    if (!ok) return false;
    gbk.assign(out.data(), out.size() - outLeft);
    return true;
}

std::string nameFault(const std::string& name) {
    std::string gbk;
    if (!gbkNameOf(name, gbk)) return "a character GBK lacks, or is not UTF-8";
    if (name.back() == '.' || name.back() == ' ') return "a trailing dot or space";
    if (!isPlainName(gbk))
        return "what the program refuses: \"\\\", \"/\", \":\", a control character or a "
               "reserved device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9)";
    if (name.find_first_of("<>\"|?*\x7F") != std::string::npos)
        return "a character Windows does not allow in a name (< > \" | ? *)";
    return "";
}

std::string folderFault(const std::string& folder) {
    if (lowerAscii(folder) == lowerAscii(kStagingFolder))
        return "DownLoad is the installation's staging folder";
    for (const char* allowed : kStandardFolders)
        if (folder == allowed) return "";
    return "only Data, Plugins, Script and Tools are installed folders";
}

bool isManifestName(const std::string& name) {
    const std::string lower = lowerAscii(name);
    return lower.compare(0, 6, "digest") == 0 && lower.size() >= 10 &&
           lower.compare(lower.size() - 4, 4, ".xml") == 0;
}

std::u32string windowsNameKey(const std::string& utf8) {
    std::u32string key;
    for (size_t i = 0; i < utf8.size();) key += upperCase(nextCharacter(utf8, i));
    return key;
}

}  // namespace vaultaide::tools
