#include "app/system_utils.h"

#include <cstdlib>
#include <set>

#include "base/gbk_text.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "platform/system_info.h"

namespace vaultaide {

std::string lowerAscii(std::string text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (isGbkLeadByte(text[i]))
            ++i;
        else if (text[i] >= 'A' && text[i] <= 'Z')
            text[i] = static_cast<char>(text[i] - 'A' + 'a');
    }
    return text;
}

namespace {

// Image names are compared as copied into a 260-byte buffer.
bool hasImageName(const ProcessEntry& entry, const std::string& lowerName) {
    return lowerAscii(entry.imageName.substr(0, 259)) == lowerName;
}

}  // namespace

bool findProcessByName(Processes& processes, const std::string& name, uint32_t& processId) {
    const std::string wanted = lowerAscii(name);
    for (const auto& entry : processes.snapshot()) {
        if (hasImageName(entry, wanted)) {
            processId = entry.id;
            return true;
        }
    }
    return false;
}

bool findRunningBrowser(Processes& processes, uint32_t& processId) {
    return findProcessByName(processes, kBrowserImageName, processId);
}

bool terminateBrowser(Processes& processes, uint32_t processId) {
    if (processId == 0 && !findRunningBrowser(processes, processId)) return true;
    processes.terminate(processId, kTerminatedExitCode);
    return true;
}

bool terminateProcessByName(Processes& processes, const std::string& name) {
    uint32_t processId = 0;
    if (findProcessByName(processes, name, processId))
        processes.terminate(processId, kTerminatedExitCode);
    return true;
}

bool endEveryProcessNamed(Processes& processes, const std::string& name, uint32_t exitCode,
                          uint32_t waitMs) {
    const std::string wanted = lowerAscii(name);
    std::set<uint32_t> refused;
    for (const auto& entry : processes.snapshot())
        if (hasImageName(entry, wanted) && !processes.terminateAndWait(entry.id, exitCode, waitMs))
            refused.insert(entry.id);
    if (refused.empty()) return true;
    // One that ended by itself meanwhile can no longer be opened, and is gone all the same.
    for (const auto& entry : processes.snapshot())
        if (refused.count(entry.id) && hasImageName(entry, wanted)) return false;
    return true;
}

bool probeWindowsVersion(SystemInfo& system, bool& isWin7or8, bool& isX86) {
    isWin7or8 = false;
    const OsVersion version = system.osVersion();
    if (!version.readable) return true;
    const uint16_t architecture = system.processorArchitecture();
    if (version.platformId != kPlatformWin32Nt || version.major <= 4) return false;
    if (version.major != 6) return true;
    isWin7or8 = version.minor == 1 || version.minor == 2;
    if (architecture == kArchitectureAmd64) isX86 = false;
    if (architecture == kArchitectureX86) isX86 = true;
    return true;
}

std::vector<std::string> splitDirectoryPath(const std::string& path) {
    std::vector<std::string> parts;
    auto slash = findBackslash(path);
    parts.push_back(path.substr(0, slash));
    while (slash != std::string::npos) {
        auto start = path.find_first_not_of('\\', slash);
        if (start == std::string::npos) break;
        slash = findBackslash(path, start);
        parts.push_back(path.substr(start, slash == std::string::npos ? slash : slash - start));
    }
    return parts;
}

bool createDirectoryTree(Files& files, const std::string& path) {
    const auto parts = splitDirectoryPath(path);
    if (files.isDirectory(path)) return true;
    std::string current = parts.front();
    for (size_t i = 1; i < parts.size(); ++i) {
        current += "\\" + parts[i];
        if (!files.isDirectory(current) && !files.createDirectory(current)) return false;
    }
    return true;
}

bool ensureRealFolder(Files& files, const std::string& path) {
    if (files.isLink(path) && !files.removeLink(path)) return false;
    if (!files.isDirectory(path) && !files.createDirectory(path)) return false;
    return files.isDirectory(path) && !files.isLink(path);
}

void parseVersionText(const std::string& text, uint32_t numbers[4]) {
    if (text.size() <= 3) return;
    auto number = [](const std::string& piece) {
        return static_cast<uint32_t>(std::atoi(piece.c_str()));
    };
    if (text.find('.') == std::string::npos) {
        numbers[0] = number(text.substr(0, 1));
        numbers[1] = number(text.substr(1, 1));
        numbers[2] = number(text.substr(2, 2));
        numbers[3] = number(text.substr(4));
        return;
    }
    // Each dot is searched for after the previous one; a failed search yields position -1,
    // so the next search starts again at the beginning of the text. Texts with fewer than
    // three dots therefore wrap around (1.2 reads as 1, 2, 1, 2).
    const long size = static_cast<long>(text.size());
    auto findDot = [&](long from) -> long {
        auto at = text.find('.', static_cast<size_t>(from));
        return at == std::string::npos ? -1 : static_cast<long>(at);
    };
    auto piece = [&](long from, long to) {
        const long end = to < 0 ? size : to;
        return from >= size || end <= from ? std::string() : text.substr(from, end - from);
    };
    long previous = -1;
    for (int i = 0; i < 4; ++i) {
        const long dot = findDot(previous + 1);
        numbers[i] = number(piece(previous + 1, dot));
        previous = dot;
    }
}

int compareVersions(const uint32_t a[4], const uint32_t b[4]) {
    for (int i = 0; i < 4; ++i)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return 0;
}

bool isServerVersionText(const std::string& text) {
    constexpr size_t kMaxDigits = 5;
    int dots = 0;
    size_t digits = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            if (++digits > kMaxDigits) return false;
        } else if (c == '.' && digits > 0 && dots < 3) {
            ++dots;
            digits = 0;
        } else {
            return false;
        }
    }
    return dots == 3 && digits > 0;
}

}  // namespace vaultaide
