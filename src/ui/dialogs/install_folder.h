#pragma once
// The options page's decisions: its heading, the target folder it offers and the checks
// "下一步" makes before the installation starts.
#include <cstdint>
#include <string>

#include "app/app_state.h"
#include "app/browser_question.h"

namespace vaultaide {

struct Platform;

// Drive types as the platform reports them.
constexpr uint32_t kDriveNoRootDir = 1;
constexpr uint32_t kDriveRemovable = 2;
constexpr uint32_t kDriveCdRom = 5;

// "创建" + assistantName + "的快捷方式在："
std::string shortcutHeading(const AppState& state);
// programFiles + "\" + programGroup: the default and the picked folder alike (a picked drive
// root thus gives two backslashes, which confirmInstallFolder folds).
std::string installFolderUnder(const std::string& base, const AppState& state);

// The text before the first "\" character (all of it when there is none).
std::string firstPathComponent(const std::string& text);
// Removable drives, CD-ROMs and what is no drive root are no place for the assistant.
bool isRefusedDriveType(uint32_t type);
// Every "\\" becomes "\", in one pass from the left.
std::string foldDoubleBackslashes(const std::string& text);

// What the check needs of the page besides the platform.
class InstallFolderChecks {
public:
    virtual ~InstallFolderChecks() = default;
    // A message box owned by the page.
    virtual int ask(const std::string& text, const std::string& caption, unsigned style) = 0;
    // The platform's drive type of a path's first component.
    virtual uint32_t driveType(const std::string& component) = 0;
    // True when the file system of the drive of a path's first component keeps access lists
    // (NTFS, not FAT32 or exFAT); false also when the drive cannot tell.
    virtual bool keepsAccessLists(const std::string& component) = 0;
};

// "下一步": closes Internet Explorer with consent, checks the drive (its type, and access lists,
// without which no one can keep a standard user from changing the installation), stores the folder
// in installPath and creates it. True when the installation may start; otherwise the user was told
// (or declined) and the page stays.
bool confirmInstallFolder(Platform& platform, AppState& state, InstallFolderChecks& checks,
                          const std::string& folderText);

}  // namespace vaultaide
