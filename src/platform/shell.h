#pragma once
// The shell: special folders, shell links, change notifications, and COM for the calling thread.
#include <memory>
#include <string>

namespace vaultaide {

// Special folders, with their CSIDL values.
enum class SpecialFolder : int {
    CommonPrograms = 0x17,  // the all-users Start-menu Programs folder
    CommonDesktop = 0x19,   // the all-users desktop
    AppData = 0x1A,         // the current user's roaming application data
    ProgramFiles = 0x26,    // the programs folder, where only administrators may write
};

// Change events, with their SHCNE values.
enum class ShellChange : long {
    FolderCreated = 0x8,    // SHCNE_MKDIR
    FolderChanged = 0x1000  // SHCNE_UPDATEDIR
};

// COM stays initialised on the thread that asked for it until the scope goes.
class ComScope {
public:
    virtual ~ComScope() = default;
};

class Shell {
public:
    virtual ~Shell() = default;
    // The file-system path of a special folder; false when the folder cannot be resolved or has
    // no file-system path.
    virtual bool specialFolderPath(SpecialFolder folder, std::string& path) = 0;
    // Saves a shell link at linkPath, replacing a file there, that holds only targetPath (no
    // arguments, working folder, description, icon, hot key or show command); true when saved.
    // COM must be initialised on the calling thread.
    virtual bool saveLink(const std::string& linkPath, const std::string& targetPath) = 0;
    // Tells the shell of a change at path at once (the event marked as an interrupt).
    virtual void notifyChange(ShellChange change, const std::string& path) = 0;
    // CoInitialize(NULL) on the calling thread, undone when the scope goes.
    virtual std::unique_ptr<ComScope> initializeCom() = 0;
};

}  // namespace vaultaide
